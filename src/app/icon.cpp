#include "app/icon.h"

#include "zorvik.xpm"

namespace app {

QPixmap applicationIcon()
{
    return QPixmap(zorvik_xpm);
}

} // namespace app

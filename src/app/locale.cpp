#include "app/locale.h"

namespace app {

QLocale userLocale()
{
    const QLocale system = QLocale::system();
    return system.language() == QLocale::C ? QLocale(QLocale::Russian, QLocale::Russia) : system;
}

} // namespace app

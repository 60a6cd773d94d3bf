#pragma once
#include <QPixmap>

namespace app {

// The application's 32 by 32, 16-colour picture: the window icon and the picture of Image1.
QPixmap applicationIcon();

} // namespace app

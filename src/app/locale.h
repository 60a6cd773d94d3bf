#pragma once
#include <QLocale>

namespace app {

// The locale values are shown in: the system's, or Russian where the system names none (the
// "C" locale of a bare session), since the whole interface is Russian.
QLocale userLocale();

} // namespace app

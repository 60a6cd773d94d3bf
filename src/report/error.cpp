#include "error.h"

namespace report {

void failFile(const QString &path, const QString &what)
{
    throw Error(QStringLiteral("Файл «%1»: %2").arg(path, what));
}

} // namespace report

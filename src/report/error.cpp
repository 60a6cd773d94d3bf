#include "error.h"

namespace report {

void failFile(const QString &path, const QString &what)
{
    throw Error(QStringLiteral("Файл «%1»: %2").arg(path, what));
}

QString withFullStop(const QString &message)
{
    if (message.isEmpty() || message.endsWith(u'.'))
        return message;
    return message + u'.';
}

QString errorText(std::exception_ptr failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const Error &e) {
        return withFullStop(e.message());
    } catch (const std::exception &e) {
        return withFullStop(QString::fromUtf8(e.what()));
    } catch (...) {
        return QStringLiteral("Непредвиденная ошибка.");
    }
}

} // namespace report

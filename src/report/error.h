#pragma once
// The one exception type of the report library. Its message is meant for the user (Russian,
// UTF-8 in what() and as QString in message()) and names the file it is about, if any.
#include <QString>

#include <stdexcept>

namespace report {

class Error : public std::runtime_error {
public:
    explicit Error(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    QString message() const { return m_message; }

private:
    QString m_message;
};

// "Файл «PATH»: WHAT" -- the common shape of a message about a file.
[[noreturn]] void failFile(const QString &path, const QString &what);

} // namespace report

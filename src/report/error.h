#pragma once
// The one exception type of the report library. Its message is meant for the user (Russian,
// UTF-8 in what() and as QString in message()) and names the file it is about, if any.
#include <QString>

#include <exception>
#include <stdexcept>

namespace report {

class Error : public std::runtime_error {
public:
    explicit Error(const QString &message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    QString message() const { return message_; }

private:
    QString message_;
};

// "Файл «PATH»: WHAT" -- the common shape of a message about a file.
[[noreturn]] void failFile(const QString &path, const QString &what);

// A message as the error boxes show it: with a full stop appended when it does not already end
// in one (an empty message stays empty).
QString withFullStop(const QString &message);
// The text the error box shows for a failure: the exception's message with its full stop.
QString errorText(std::exception_ptr failure);

} // namespace report

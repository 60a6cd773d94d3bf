#pragma once
// The one exception type of the table engine. Its message is meant for the user:
// it names the file and says what is wrong (UTF-8, Russian).
#include <stdexcept>
#include <string>

namespace tables {

class Error : public std::runtime_error {
public:
    explicit Error(const std::string &message) : std::runtime_error(message) {}
};

// "Файл «NAME»: WHAT" -- the common shape of a message about a file.
[[noreturn]] void failFile(const std::string &path, const std::string &what);

} // namespace tables

#pragma once
// The engine's file layer: positioned reads and writes on an open file, every failure an
// Error naming the file. All engine I/O goes through here, so tests can make the k-th write,
// sync or read fail (disk full, I/O error) and check what the engine leaves behind.
// Everything that differs between systems lives in this layer: file_posix.cpp and
// file_win32.cpp implement `File` and the local time, one of them chosen at build time;
// file.cpp holds what both share. Paths are UTF-8 on every system.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

namespace tables {

class File {
public:
    enum Mode { ReadOnly, ReadWrite, Create }; // Create: a new empty file, or an old one emptied

    File() = default;
    File(const std::string &path, Mode mode);
    ~File();
    File(File &&other) noexcept;
    File &operator=(File &&other) noexcept;
    File(const File &) = delete;
    File &operator=(const File &) = delete;

    const std::string &path() const { return path_; }
    int64_t size() const;
    // The size the file had when it was opened (no system call).
    int64_t sizeWhenOpened() const { return openedSize_; }
    // Reads up to n bytes at offset; returns how many were there (fewer at the end of the file).
    size_t readAt(void *buffer, size_t n, int64_t offset) const;
    // Writes all n bytes at offset or throws.
    void writeAt(const void *buffer, size_t n, int64_t offset);
    void truncate(int64_t length);
    void sync();
    void close();
    // The one-writer lock: false when another open of the file (in this process or another)
    // holds it. It stops other locks only, never reads or writes; closing releases it.
    bool tryLock();

private:
    static constexpr intptr_t kClosed = -1;
    intptr_t handle_ = kClosed; // a file descriptor, or a Windows HANDLE
    bool locked_ = false;
    std::string path_;
    int64_t openedSize_ = 0;
};

// Fault injection for tests: the k-th operation of a kind (1-based, counted from the last reset)
// fails with errno `error`. k = 0 switches it off.
namespace faults {
enum Kind { Write, Sync, Read };
void failAt(Kind kind, long k, int error);
void reset();
long count(Kind kind);
} // namespace faults

// The broken-down local time of `t` (for the date stamps tables and indexes carry).
std::tm localTime(std::time_t t);

// A path of ours (UTF-8; on POSIX systems any bytes) as the standard library's path, and back.
std::filesystem::path fsPath(const std::string &utf8);
std::string utf8Path(const std::filesystem::path &path);

// ASCII letter case (names of files, fields and tags; other bytes are left alone).
std::string asciiUpper(std::string s);
std::string asciiLower(std::string s);

// Where a path splits into folder and file name.
enum class PathStyle {
    Windows,      // after the last backslash or drive colon: how the pick list splits a path
    WindowsFiles, // also after a slash, which the Windows file system takes as a separator too
    Posix,        // after the last slash
};

// The pick list's split, and the split of a path the engine opens.
#ifdef _WIN32
inline constexpr PathStyle nativePathStyle = PathStyle::Windows;
inline constexpr PathStyle nativeFileStyle = PathStyle::WindowsFiles;
#else
inline constexpr PathStyle nativePathStyle = PathStyle::Posix;
inline constexpr PathStyle nativeFileStyle = PathStyle::Posix;
#endif

// A path cut into its folder (up to and including the last separator; empty for a bare name),
// its file name, the name without its extension, and the extension in lower case with its dot
// (or empty). "C:\DATA\CLIENTS.DBF" gives "C:\DATA\", "CLIENTS.DBF", "CLIENTS" and ".dbf".
struct PathParts {
    std::string folder;
    std::string name;
    std::string stem;
    std::string extension;

    bool operator==(const PathParts &) const = default;
};
PathParts splitPath(std::string_view path, PathStyle style = nativeFileStyle);

// Finds a file beside `path` named `stem + ext` in any letter case (ext with its dot);
// empty when there is none. Tries the likely spellings (as given, upper case, lower case)
// first; only when `listFolder` is set and none exists does it look through the folder's
// entries. The listing is kept per folder and read again only when the folder's
// modification time changes, so opening many tables of one folder lists it once.
std::string findCompanion(const std::string &folder, const std::string &stem, const std::string &ext,
                          bool listFolder = true);

} // namespace tables

// The file layer on Windows: a HANDLE opened by its wide-character name, reads and writes at
// offsets through OVERLAPPED, LockFileEx for the one-writer lock and FlushFileBuffers for the sync.
#include "file.h"
#include "file_p.h"

#include "error.h"

#include <algorithm>
#include <cerrno>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#ifndef ERROR_DISK_QUOTA_EXCEEDED
#define ERROR_DISK_QUOTA_EXCEEDED 1295L // missing from older mingw-w64 headers
#endif

namespace tables {

using detail::errnoText;
using detail::injectedFault;

namespace {

HANDLE handleOf(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// Windows' locks are mandatory: a locked byte cannot be read or written through another handle.
// The one-writer lock therefore takes a byte far beyond any table's end (locking past the end
// is allowed), so other opens of the table keep reading it.
constexpr DWORD kLockOffsetHigh = 0x7fffffff;

std::wstring wide(const std::string &utf8)
{
    if (utf8.empty())
        return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring w(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), w.data(), n);
    return w;
}

std::string narrow(const wchar_t *w, int length)
{
    const int n = WideCharToMultiByte(CP_UTF8, 0, w, length, nullptr, 0, nullptr, nullptr);
    std::string s(size_t(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, w, length, s.data(), n, nullptr, nullptr);
    return s;
}

// The same words as on POSIX for the same failures; anything else in the system's own words.
std::string systemText(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND: case ERROR_PATH_NOT_FOUND: case ERROR_BAD_NETPATH: return errnoText(ENOENT);
    case ERROR_ACCESS_DENIED: case ERROR_SHARING_VIOLATION: case ERROR_LOCK_VIOLATION: return errnoText(EACCES);
    case ERROR_DISK_FULL: case ERROR_HANDLE_DISK_FULL: return errnoText(ENOSPC);
    case ERROR_CRC: case ERROR_IO_DEVICE: case ERROR_READ_FAULT: case ERROR_WRITE_FAULT:
    case ERROR_SECTOR_NOT_FOUND: return errnoText(EIO);
    case ERROR_WRITE_PROTECT: return errnoText(EROFS);
    case ERROR_DISK_QUOTA_EXCEEDED: return detail::kQuotaText;
    default: break;
    }
    wchar_t *text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    std::string s = n > 0 ? narrow(text, int(n)) : std::string();
    LocalFree(text);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ' || s.back() == '.'))
        s.pop_back();
    return s.empty() ? "системная ошибка " + std::to_string(error) : s;
}

bool isFolder(const std::wstring &path)
{
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

OVERLAPPED at(int64_t offset)
{
    OVERLAPPED ov{};
    ov.Offset = DWORD(uint64_t(offset) & 0xffffffffu);
    ov.OffsetHigh = DWORD(uint64_t(offset) >> 32);
    return ov;
}

constexpr size_t kMaxChunk = size_t(1) << 30;

} // namespace

File::File(const std::string &path, Mode mode) : path_(path)
{
    const std::wstring name = wide(path);
    const DWORD access = mode == ReadOnly ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    // Others may read, write, rename and remove it, as on POSIX; the one-writer lock guards writers.
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE h = CreateFileW(name.c_str(), access, share, nullptr, mode == Create ? CREATE_ALWAYS : OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD e = GetLastError();
        if (isFolder(name))
            failFile(path, "это папка, а не файл");
        failFile(path, "не удаётся открыть: " + systemText(e));
    }
    LARGE_INTEGER size{};
    if (GetFileType(h) != FILE_TYPE_DISK || !GetFileSizeEx(h, &size)) {
        CloseHandle(h);
        failFile(path, "это не обычный файл");
    }
    handle_ = reinterpret_cast<intptr_t>(h);
    openedSize_ = size.QuadPart;
}

void File::close()
{
    if (handle_ != kClosed) {
        // Closing releases a lock only some time later; release it now, so that the next
        // open of the table finds it free.
        if (locked_) {
            OVERLAPPED ov = at(0);
            ov.OffsetHigh = kLockOffsetHigh;
            UnlockFileEx(handleOf(handle_), 0, 1, 0, &ov);
        }
        CloseHandle(handleOf(handle_));
    }
    handle_ = kClosed;
    locked_ = false;
}

int64_t File::size() const
{
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handleOf(handle_), &size))
        failFile(path_, systemText(GetLastError()));
    return size.QuadPart;
}

size_t File::readAt(void *buffer, size_t n, int64_t offset) const
{
    size_t done = 0;
    while (done < n) {
        if (injectedFault(faults::Read))
            failFile(path_, "ошибка чтения: " + errnoText(errno));
        OVERLAPPED ov = at(offset + int64_t(done));
        DWORD got = 0;
        const DWORD chunk = DWORD(std::min(n - done, kMaxChunk));
        if (!ReadFile(handleOf(handle_), static_cast<char *>(buffer) + done, chunk, &got, &ov)) {
            const DWORD e = GetLastError();
            if (e == ERROR_HANDLE_EOF)
                break;
            failFile(path_, "ошибка чтения: " + systemText(e));
        }
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

void File::writeAt(const void *buffer, size_t n, int64_t offset)
{
    size_t done = 0;
    while (done < n) {
        if (injectedFault(faults::Write))
            failFile(path_, "ошибка записи: " + errnoText(errno));
        OVERLAPPED ov = at(offset + int64_t(done));
        DWORD put = 0;
        const DWORD chunk = DWORD(std::min(n - done, kMaxChunk));
        if (!WriteFile(handleOf(handle_), static_cast<const char *>(buffer) + done, chunk, &put, &ov))
            failFile(path_, "ошибка записи: " + systemText(GetLastError()));
        if (put == 0)
            failFile(path_, "ошибка записи: " + errnoText(EIO));
        done += put;
    }
}

void File::truncate(int64_t length)
{
    if (injectedFault(faults::Write))
        failFile(path_, "ошибка записи: " + errnoText(errno));
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = length;
    if (!SetFileInformationByHandle(handleOf(handle_), FileEndOfFileInfo, &end, sizeof end))
        failFile(path_, "ошибка записи: " + systemText(GetLastError()));
}

void File::sync()
{
    if (injectedFault(faults::Sync))
        failFile(path_, "ошибка записи на диск: " + errnoText(errno));
    if (!FlushFileBuffers(handleOf(handle_)))
        failFile(path_, "ошибка записи на диск: " + systemText(GetLastError()));
}

bool File::tryLock()
{
    if (locked_)
        return true; // flock's rule: locking again through the same open succeeds
    OVERLAPPED ov = at(0);
    ov.OffsetHigh = kLockOffsetHigh;
    locked_ = LockFileEx(handleOf(handle_), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &ov);
    return locked_;
}

std::filesystem::path fsPath(const std::string &utf8) { return std::filesystem::path(wide(utf8)); }

std::string utf8Path(const std::filesystem::path &path)
{
    const std::wstring &w = path.native();
    return narrow(w.data(), int(w.size()));
}

std::tm localTime(std::time_t t)
{
    std::tm tm{};
    localtime_s(&tm, &t);
    return tm;
}

} // namespace tables

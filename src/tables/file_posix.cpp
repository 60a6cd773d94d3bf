// The file layer on POSIX systems: a file descriptor, pread/pwrite, flock for the one-writer
// lock and fdatasync for the sync.
#include "file.h"
#include "file_p.h"

#include "error.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tables {

using detail::errnoText;
using detail::injectedFault;

namespace {
int fdOf(intptr_t handle) { return int(handle); }
} // namespace

File::File(const std::string &path, Mode mode) : path_(path)
{
    const int flags = mode == ReadOnly ? O_RDONLY : mode == ReadWrite ? O_RDWR : O_RDWR | O_CREAT | O_TRUNC;
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0)
        failFile(path, "не удаётся открыть: " + errnoText(errno));
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        int e = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd);
        failFile(path, e == EISDIR ? "это папка, а не файл" : "это не обычный файл");
    }
    handle_ = fd;
    openedSize_ = st.st_size;
}

void File::close()
{
    if (handle_ != kClosed)
        ::close(fdOf(handle_)); // releases the lock with it
    handle_ = kClosed;
    locked_ = false;
}

int64_t File::size() const
{
    struct stat st;
    if (::fstat(fdOf(handle_), &st) != 0)
        failFile(path_, errnoText(errno));
    return st.st_size;
}

size_t File::readAt(void *buffer, size_t n, int64_t offset) const
{
    size_t done = 0;
    while (done < n) {
        if (injectedFault(faults::Read))
            failFile(path_, "ошибка чтения: " + errnoText(errno));
        ssize_t r = ::pread(fdOf(handle_), static_cast<char *>(buffer) + done, n - done, offset + int64_t(done));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            failFile(path_, "ошибка чтения: " + errnoText(errno));
        }
        if (r == 0)
            break;
        done += size_t(r);
    }
    return done;
}

void File::writeAt(const void *buffer, size_t n, int64_t offset)
{
    size_t done = 0;
    while (done < n) {
        if (injectedFault(faults::Write))
            failFile(path_, "ошибка записи: " + errnoText(errno));
        ssize_t r = ::pwrite(fdOf(handle_), static_cast<const char *>(buffer) + done, n - done, offset + int64_t(done));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            failFile(path_, "ошибка записи: " + errnoText(errno));
        }
        done += size_t(r);
    }
}

void File::truncate(int64_t length)
{
    if (injectedFault(faults::Write) || ::ftruncate(fdOf(handle_), length) != 0)
        failFile(path_, "ошибка записи: " + errnoText(errno));
}

void File::sync()
{
    if (injectedFault(faults::Sync) || ::fdatasync(fdOf(handle_)) != 0)
        failFile(path_, "ошибка записи на диск: " + errnoText(errno));
}

bool File::tryLock()
{
    locked_ = locked_ || ::flock(fdOf(handle_), LOCK_EX | LOCK_NB) == 0;
    return locked_;
}

// Names are bytes here: a name that is not UTF-8 (an old Cyrillic one) passes unchanged.
std::filesystem::path fsPath(const std::string &utf8) { return std::filesystem::path(utf8); }

std::string utf8Path(const std::filesystem::path &path) { return path.native(); }

std::tm localTime(std::time_t t)
{
    std::tm tm{};
    ::localtime_r(&t, &tm);
    return tm;
}

} // namespace tables

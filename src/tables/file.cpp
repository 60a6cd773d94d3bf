#include "file.h"

#include "error.h"

#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <map>
#include <mutex>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tables {

void failFile(const std::string &path, const std::string &what)
{
    throw Error("Файл «" + path + "»: " + what);
}

namespace faults {
namespace {
struct Slot { std::atomic<long> count{0}; std::atomic<long> at{0}; std::atomic<int> error{0}; };
std::array<Slot, 3> slots;

bool hit(Kind kind)
{
    Slot &s = slots[kind];
    long n = ++s.count;
    long at = s.at.load();
    if (at > 0 && n == at) {
        errno = s.error.load();
        return true;
    }
    return false;
}
} // namespace

void failAt(Kind kind, long k, int error)
{
    slots[kind].at = k;
    slots[kind].error = error;
    slots[kind].count = 0;
}

void reset()
{
    for (Slot &s : slots) {
        s.at = 0;
        s.count = 0;
        s.error = 0;
    }
}

long count(Kind kind) { return slots[kind].count.load(); }
} // namespace faults

namespace {
std::string systemText(int error)
{
    switch (error) {
    case ENOENT: return "файл не найден";
    case EACCES: case EPERM: return "нет доступа";
    case ENOSPC: return "нет места на диске";
    case EIO: return "ошибка ввода-вывода";
    case EISDIR: return "это папка, а не файл";
    case EROFS: return "файловая система только для чтения";
    case EDQUOT: return "превышена квота диска";
    default: return std::strerror(error);
    }
}
} // namespace

File::File(const std::string &path, Mode mode) : path_(path)
{
    const int flags = mode == ReadOnly ? O_RDONLY : mode == ReadWrite ? O_RDWR : O_RDWR | O_CREAT | O_TRUNC;
    fd_ = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
    if (fd_ < 0)
        failFile(path, "не удаётся открыть: " + systemText(errno));
    struct stat st;
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        int e = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd_);
        fd_ = -1;
        failFile(path, e == EISDIR ? "это папка, а не файл" : "это не обычный файл");
    }
    openedSize_ = st.st_size;
}

File::~File() { close(); }

File::File(File &&o) noexcept : fd_(o.fd_), path_(std::move(o.path_)), openedSize_(o.openedSize_) { o.fd_ = -1; }

File &File::operator=(File &&o) noexcept
{
    if (this != &o) {
        close();
        fd_ = o.fd_;
        path_ = std::move(o.path_);
        openedSize_ = o.openedSize_;
        o.fd_ = -1;
    }
    return *this;
}

void File::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

int64_t File::size() const
{
    struct stat st;
    if (::fstat(fd_, &st) != 0)
        failFile(path_, systemText(errno));
    return st.st_size;
}

size_t File::readAt(void *buffer, size_t n, int64_t offset) const
{
    size_t done = 0;
    while (done < n) {
        if (faults::hit(faults::Read))
            failFile(path_, "ошибка чтения: " + systemText(errno));
        ssize_t r = ::pread(fd_, static_cast<char *>(buffer) + done, n - done, offset + int64_t(done));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            failFile(path_, "ошибка чтения: " + systemText(errno));
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
        if (faults::hit(faults::Write))
            failFile(path_, "ошибка записи: " + systemText(errno));
        ssize_t r = ::pwrite(fd_, static_cast<const char *>(buffer) + done, n - done, offset + int64_t(done));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            failFile(path_, "ошибка записи: " + systemText(errno));
        }
        done += size_t(r);
    }
}

void File::truncate(int64_t length)
{
    if (faults::hit(faults::Write) || ::ftruncate(fd_, length) != 0)
        failFile(path_, "ошибка записи: " + systemText(errno));
}

void File::sync()
{
    if (faults::hit(faults::Sync) || ::fdatasync(fd_) != 0)
        failFile(path_, "ошибка записи на диск: " + systemText(errno));
}

bool File::tryLock()
{
    return ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
}

namespace {

bool isRegularFile(const std::string &p)
{
    struct stat st;
    return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Folder listings by folder path: lower-case name -> name as spelt on disk. An entry is
// believed while the folder's modification time is unchanged (creating, removing or
// renaming an entry changes it). File systems keep that time coarsely (a clock tick, two
// seconds on FAT), so a listing read soon after a change is not kept: a second change
// within the same tick would leave the time as it was.
class FolderListings {
public:
    std::string find(const std::string &folder, const std::string &lowerName)
    {
        const std::string dirPath = folder.empty() ? "." : folder;
        struct stat st;
        if (::stat(dirPath.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return {};
        std::lock_guard lock(mutex_);
        auto it = listings_.find(dirPath);
        if (it == listings_.end() || it->second.mtime.tv_sec != st.st_mtim.tv_sec ||
            it->second.mtime.tv_nsec != st.st_mtim.tv_nsec) {
            if (listings_.size() >= kMaxFolders)
                listings_.clear();
            Listing l;
            l.mtime = st.st_mtim;
            if (DIR *dir = ::opendir(dirPath.c_str())) {
                while (dirent *e = ::readdir(dir))
                    l.names.emplace(asciiLower(e->d_name), e->d_name);
                ::closedir(dir);
            }
            it = listings_.insert_or_assign(dirPath, std::move(l)).first;
            if (std::time(nullptr) - st.st_mtim.tv_sec < kSettleSeconds) {
                // Changed just now: answer from this listing, but read it again next time.
                std::string found = lookup(it->second, folder, lowerName);
                listings_.erase(it);
                return found;
            }
        }
        return lookup(it->second, folder, lowerName);
    }

private:
    static constexpr size_t kMaxFolders = 64;
    static constexpr long kSettleSeconds = 3;
    struct Listing {
        struct timespec mtime {};
        std::multimap<std::string, std::string> names;
    };

    static std::string lookup(const Listing &l, const std::string &folder, const std::string &lowerName)
    {
        auto [first, last] = l.names.equal_range(lowerName);
        for (auto n = first; n != last; ++n)
            if (isRegularFile(folder + n->second))
                return folder + n->second;
        return {};
    }

    std::mutex mutex_;
    std::map<std::string, Listing> listings_;
};

FolderListings &folderListings()
{
    static FolderListings listings;
    return listings;
}

} // namespace

std::string asciiUpper(std::string s)
{
    for (char &c : s)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string asciiLower(std::string s)
{
    for (char &c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

PathParts splitPath(std::string_view path, PathStyle style)
{
    PathParts parts;
    const std::string_view separators = style == PathStyle::Windows ? std::string_view("\\:") : std::string_view("/");
    const size_t last = path.find_last_of(separators);
    parts.folder = last == std::string_view::npos ? std::string() : std::string(path.substr(0, last + 1));
    parts.name = last == std::string_view::npos ? std::string(path) : std::string(path.substr(last + 1));
    const size_t dot = parts.name.find_last_of('.');
    parts.stem = dot == std::string::npos ? parts.name : parts.name.substr(0, dot);
    parts.extension = dot == std::string::npos ? std::string() : asciiLower(parts.name.substr(dot));
    return parts;
}

std::string findCompanion(const std::string &folder, const std::string &stem, const std::string &ext,
                          bool listFolder)
{
    const std::string tries[] = {stem + asciiLower(ext), stem + asciiUpper(ext), asciiUpper(stem) + asciiUpper(ext),
                                 asciiLower(stem) + asciiLower(ext)};
    for (const std::string &t : tries)
        if (isRegularFile(folder + t))
            return folder + t;
    if (!listFolder)
        return {};
    return folderListings().find(folder, asciiLower(stem + ext));
}

} // namespace tables

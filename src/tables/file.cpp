// The part of the file layer both systems share: injected faults, the user's words for a
// failure, path splitting and the companion-file lookup (through std::filesystem).
#include "file.h"
#include "file_p.h"

#include "error.h"

#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>

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

namespace detail {

bool injectedFault(int kind) { return faults::hit(faults::Kind(kind)); }

std::string errnoText(int error)
{
    switch (error) {
    case ENOENT: return "файл не найден";
    case EACCES: case EPERM: return "нет доступа";
    case ENOSPC: return "нет места на диске";
    case EIO: return "ошибка ввода-вывода";
    case EISDIR: return "это папка, а не файл";
    case EROFS: return "файловая система только для чтения";
#ifdef EDQUOT
    case EDQUOT: return kQuotaText;
#endif
    default: return std::strerror(error);
    }
}

} // namespace detail

// What the two systems' File share: ownership of the open file moves, the last owner closes it.
File::~File() { close(); }

File::File(File &&o) noexcept : handle_(o.handle_), locked_(o.locked_), path_(std::move(o.path_)), openedSize_(o.openedSize_)
{
    o.handle_ = kClosed;
    o.locked_ = false;
}

File &File::operator=(File &&o) noexcept
{
    if (this != &o) {
        close();
        handle_ = o.handle_;
        locked_ = o.locked_;
        path_ = std::move(o.path_);
        openedSize_ = o.openedSize_;
        o.handle_ = kClosed;
        o.locked_ = false;
    }
    return *this;
}


namespace {

bool isRegularFile(const std::string &p)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(fsPath(p), ec);
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
        namespace fs = std::filesystem;
        const std::string dirPath = folder.empty() ? "." : folder;
        const fs::path dir = fsPath(dirPath);
        std::error_code ec;
        if (!fs::is_directory(dir, ec))
            return {};
        const fs::file_time_type mtime = fs::last_write_time(dir, ec);
        if (ec)
            return {};
        std::lock_guard lock(mutex_);
        auto it = listings_.find(dirPath);
        if (it == listings_.end() || it->second.mtime != mtime) {
            if (listings_.size() >= kMaxFolders)
                listings_.clear();
            Listing l;
            l.mtime = mtime;
            for (fs::directory_iterator e(dir, ec), end; !ec && e != end; e.increment(ec)) {
                std::string name = utf8Path(e->path().filename());
                l.names.emplace(asciiLower(name), name);
            }
            it = listings_.insert_or_assign(dirPath, std::move(l)).first;
            if (fs::file_time_type::clock::now() - mtime < kSettle) {
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
    static constexpr std::chrono::seconds kSettle{3};
    struct Listing {
        std::filesystem::file_time_type mtime;
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
    const std::string_view separators = style == PathStyle::Windows        ? std::string_view("\\:")
                                        : style == PathStyle::WindowsFiles ? std::string_view("/\\:")
                                                                           : std::string_view("/");
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

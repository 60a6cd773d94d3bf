#include "selection/intake.h"

#include "tables/error.h"
#include "tables/file.h"
#include "tables/recognise.h"

#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <set>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace selection {

namespace {

constexpr int kMaxDepth = 256;         // deeper nesting is no real folder tree
constexpr int kCallEvery = 256;        // files between two progress calls

// Text of a name for a message: invalid bytes shown as replacement characters.
std::string shown(const std::string &path)
{
    return QString::fromLocal8Bit(path.data(), qsizetype(path.size())).toStdString();
}

bool validName(const char *name, size_t length)
{
    bool ascii = true;
    for (size_t i = 0; i < length && ascii; ++i)
        ascii = static_cast<unsigned char>(name[i]) < 0x80;
    if (ascii)
        return true;
    const QByteArray bytes(name, qsizetype(length));
    return QString::fromLocal8Bit(bytes).toLocal8Bit() == bytes;
}

std::string reason(int error)
{
    switch (error) {
    case EACCES: case EPERM: return "нет доступа";
    case ENOENT: return "исчезла во время просмотра";
    case ELOOP: return "символические ссылки ведут по кругу";
    case ENOTDIR: return "это уже не папка";
    case EIO: return "ошибка ввода-вывода";
    default: return std::strerror(error);
    }
}

struct Entry {
    QString key;        // the name as text, for ordering
    std::string name;   // the name's bytes
};


int naturalCompare(const QString &a, const QString &b);
void sortNaturally(std::vector<Entry> &entries);

class Search {
public:
    Search(Intake &out, const IntakeCallback &progress) : out_(out), progress_(progress) {}

    // Searches `folder` (with its trailing '/'); false when cancelled.
    bool folder(const std::string &folder, int depth)
    {
        DIR *dir = ::opendir(folder.c_str());
        if (!dir) {
            note("Папка «" + shown(folder) + "» пропущена: " + reason(errno) + ".");
            return true;
        }
        struct stat self {};
        if (::fstat(::dirfd(dir), &self) != 0 || !visited_.insert({self.st_dev, self.st_ino}).second) {
            ::closedir(dir);
            note("Папка «" + shown(folder) + "» пропущена: она уже просмотрена (символическая ссылка ведёт в неё же или по кругу).");
            return true;
        }
        ++out_.folders;
        if (!call(folder))
            return closed(dir, false);

        std::vector<Entry> files, folders;
        errno = 0;
        while (const dirent *e = ::readdir(dir)) {
            const char *name = e->d_name;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
                continue;
            const size_t length = std::strlen(name);
            if (!validName(name, length)) {
                note("«" + shown(folder + name) + "» пропущен: имя не в кодировке системы.");
                continue;
            }
            unsigned char type = e->d_type;
            if (type == DT_LNK || type == DT_UNKNOWN) {
                struct stat st {};
                if (::fstatat(::dirfd(dir), name, &st, 0) != 0) {
                    const int error = errno;
                    if (type == DT_LNK)
                        note("Ссылка «" + shown(folder + name) + "» пропущена: " +
                             (error == ENOENT ? std::string("она никуда не ведёт") : reason(error)) + ".");
                    else
                        note("«" + shown(folder + name) + "» пропущен: " + reason(error) + ".");
                    errno = 0;
                    continue;
                }
                type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
                if (type == DT_DIR && leadsUp(folder, name)) {
                    note("Ссылка «" + shown(folder + name) + "» пропущена: она ведёт в папку, которая её содержит (петля).");
                    errno = 0;
                    continue;
                }
            }
            if (type == DT_DIR)
                folders.push_back({QString::fromLocal8Bit(name, qsizetype(length)), std::string(name, length)});
            else if (type == DT_REG)
                files.push_back({QString::fromLocal8Bit(name, qsizetype(length)), std::string(name, length)});
            // Devices, pipes and sockets are never opened.
            errno = 0;
        }
        if (errno != 0)
            note("Папка «" + shown(folder) + "» прочитана не до конца: " + reason(errno) + ".");
        ::closedir(dir);

        sortNaturally(files);
        sortNaturally(folders);
        int sinceCall = 0;
        for (const Entry &f : files) {
            file(folder + f.name);
            if (++sinceCall == kCallEvery) {
                sinceCall = 0;
                if (!call(folder))
                    return false;
            }
        }
        for (const Entry &f : folders) {
            if (depth + 1 >= kMaxDepth) {
                note("Папка «" + shown(folder + f.name) + "» пропущена: слишком глубокая вложенность.");
                continue;
            }
            if (!this->folder(folder + f.name + '/', depth + 1))
                return false;
        }
        return true;
    }

private:
    void file(const std::string &path)
    {
        const std::string extension = tables::splitPath(path).extension;
        if (tables::isCompanionExtension(extension)) {
            ++out_.passedOver;
            return;
        }
        tables::TableKind kind = tables::TableKind::None;
        try {
            kind = tables::recogniseTableFile(path);
        } catch (const tables::Error &e) {
            note(std::string(e.what()) + (std::string(e.what()).ends_with('.') ? "" : "."));
            return;
        }
        if (kind != tables::TableKind::None) {
            out_.paths.push_back(path);
            return;
        }
        ++out_.passedOver;
        if (extension == ".dbf" || extension == ".db")
            note("Файл «" + shown(path) + "» пропущен: это не таблица dBASE или Paradox (или её заголовок повреждён).");
    }

    bool call(const std::string &folder)
    {
        if (!progress_)
            return true;
        if (!progress_({out_.folders, int(out_.paths.size()), folder})) {
            out_.cancelled = true;
            return false;
        }
        return true;
    }

    bool closed(DIR *dir, bool result)
    {
        ::closedir(dir);
        return result;
    }

    void note(std::string text) { out_.notes.push_back(std::move(text)); }

    // A link in `folder` to `folder` itself or to a folder above it: followed, it would search
    // the same files again and again.
    static bool leadsUp(const std::string &folder, const char *name)
    {
        char here[PATH_MAX], there[PATH_MAX];
        if (!::realpath(folder.c_str(), here) || !::realpath((folder + name).c_str(), there))
            return false;
        const std::string_view inside(here), target(there);
        return inside == target || target == "/" ||
               (inside.starts_with(target) && inside.size() > target.size() && inside[target.size()] == '/');
    }

    Intake &out_;
    const IntakeCallback &progress_;
    std::set<std::pair<dev_t, ino_t>> visited_;
};

// Runs of ASCII digits.
bool digit(QChar c) { return c >= u'0' && c <= u'9'; }

int naturalCompare(const QString &a, const QString &b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            qsizetype ei = i, ej = j;
            while (ei < a.size() && digit(a[ei]))
                ++ei;
            while (ej < b.size() && digit(b[ej]))
                ++ej;
            qsizetype si = i, sj = j;
            while (si + 1 < ei && a[si] == u'0')
                ++si;
            while (sj + 1 < ej && b[sj] == u'0')
                ++sj;
            if (ei - si != ej - sj)
                return ei - si < ej - sj ? -1 : 1;
            const int c = QStringView(a).mid(si, ei - si).compare(QStringView(b).mid(sj, ej - sj));
            if (c != 0)
                return c;
            i = ei;
            j = ej;
            continue;
        }
        const QChar x = a[i].toCaseFolded(), y = b[j].toCaseFolded();
        if (x != y)
            return x < y ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return 0;
}

void sortNaturally(std::vector<Entry> &entries)
{
    std::sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) {
        const int c = naturalCompare(a.key, b.key);
        return c != 0 ? c < 0 : a.name < b.name;
    });
}

} // namespace

bool naturalLess(std::string_view a, std::string_view b)
{
    const int c = naturalCompare(QString::fromLocal8Bit(a.data(), qsizetype(a.size())),
                                 QString::fromLocal8Bit(b.data(), qsizetype(b.size())));
    return c != 0 ? c < 0 : a < b;
}

Intake expandPaths(const std::vector<std::string> &paths, const IntakeCallback &progress)
{
    Intake out;
    Search search(out, progress);
    for (size_t i = 0; i < paths.size(); ++i) {
        const std::string &path = paths[i];
        struct stat st {};
        if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            out.paths.push_back(path);
        } else if (!search.folder(path.ends_with('/') ? path : path + '/', 0)) {
            break;
        }
        out.named.resize(out.paths.size(), i);
    }
    return out;
}

QString intakeSummary(const Intake &intake, int shown)
{
    QStringList lines;
    lines << QStringLiteral("Добавлено таблиц: %1 (просмотрено папок: %2).").arg(intake.paths.size()).arg(intake.folders);
    const int count = int(intake.notes.size());
    if (count > 0)
        lines << QStringLiteral("Пропущено:");
    for (int i = 0; i < count && i < shown; ++i)
        lines << QString::fromStdString(intake.notes[size_t(i)]);
    if (count > shown)
        lines << QStringLiteral("… и ещё %1.").arg(count - shown);
    return lines.join(u'\n');
}

} // namespace selection

#include "selection/intake.h"

#include "tables/error.h"
#include "tables/file.h"
#include "tables/recognise.h"

#include <QStringList>

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>
#include <utility>

namespace selection {

namespace {

namespace fs = std::filesystem;

constexpr int kMaxDepth = 256;         // deeper nesting is no real folder tree
constexpr int kCallEvery = 256;        // files between two progress calls

// Text of a name for a message: invalid bytes shown as replacement characters.
std::string shown(const std::string &path)
{
    return QString::fromLocal8Bit(path.data(), qsizetype(path.size())).toStdString();
}

#ifndef _WIN32
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
#endif

// The name of a folder entry in the system's 8-bit encoding; false when it has none there
// (`out` then holds what can be shown of it).
bool localName(const fs::path &name, std::string &out)
{
#ifdef _WIN32
    const QString text = QString::fromStdWString(name.native());
    const QByteArray local = text.toLocal8Bit();
    out = local.toStdString();
    return QString::fromLocal8Bit(local) == text;
#else
    out = name.native();
    return validName(out.data(), out.size());
#endif
}

std::string reason(const std::error_code &error)
{
    if (error == std::errc::permission_denied || error == std::errc::operation_not_permitted)
        return "нет доступа";
    if (error == std::errc::no_such_file_or_directory)
        return "исчезла во время просмотра";
    if (error == std::errc::too_many_symbolic_link_levels)
        return "символические ссылки ведут по кругу";
    if (error == std::errc::not_a_directory)
        return "это уже не папка";
    if (error == std::errc::io_error)
        return "ошибка ввода-вывода";
    return error.message();
}

struct Entry {
    QString key;        // the name as text, for ordering
    std::string name;   // the name's bytes
    fs::path real;      // folders: where the folder really is (no links, no "..")
};


int naturalCompare(const QString &a, const QString &b);
void sortNaturally(std::vector<Entry> &entries);

class Search {
public:
    Search(Intake &out, const IntakeCallback &progress) : out_(out), progress_(progress) {}

    // Searches `folder` (with its trailing '/'); false when cancelled. `real` is where the folder
    // really is, for telling a folder seen before: a folder reached again through a link is
    // searched once.
    bool folder(const std::string &folder, const fs::path &real, int depth)
    {
        std::error_code error;
        fs::directory_iterator it(fs::path(folder), error);
        if (error) {
            note("Папка «" + shown(folder) + "» пропущена: " + reason(error) + ".");
            return true;
        }
        if (real.empty() || !visited_.insert(real.native()).second) {
            note("Папка «" + shown(folder) + "» пропущена: она уже просмотрена (символическая ссылка ведёт в неё же или по кругу).");
            return true;
        }
        ++out_.folders;
        if (!call(folder))
            return false;

        std::vector<Entry> files, folders;
        for (const fs::directory_iterator end; it != end;) {
            const fs::directory_entry &e = *it;
            std::string name;
            if (!localName(e.path().filename(), name)) {
                note("«" + shown(folder + name) + "» пропущен: имя не в кодировке системы.");
            } else {
                // The type the folder listing gave; only links (and entries of file systems that
                // give none) cost a look at the file.
                std::error_code typeError;
                const bool link = e.is_symlink(typeError);
                fs::file_type type = fs::file_type::unknown;
                if (!typeError)
                    type = link ? fs::status(e.path(), typeError).type()
                                : e.is_directory(typeError) ? fs::file_type::directory
                                : e.is_regular_file(typeError) ? fs::file_type::regular : fs::file_type::unknown;
                if (typeError) {
                    if (link)
                        note("Ссылка «" + shown(folder + name) + "» пропущена: " +
                             (typeError == std::errc::no_such_file_or_directory ? std::string("она никуда не ведёт")
                                                                                 : reason(typeError)) + ".");
                    else
                        note("«" + shown(folder + name) + "» пропущен: " + reason(typeError) + ".");
                } else if (type == fs::file_type::directory) {
                    // A folder inside a real folder is really there; a link is followed to its end.
                    fs::path target = link ? fs::canonical(e.path(), typeError) : real / e.path().filename();
                    if (link && !typeError && leadsUp(real, target))
                        note("Ссылка «" + shown(folder + name) + "» пропущена: она ведёт в папку, которая её содержит (петля).");
                    else
                        folders.push_back({QString::fromLocal8Bit(name.data(), qsizetype(name.size())), name,
                                           typeError ? fs::path() : std::move(target)});
                } else if (type == fs::file_type::regular) {
                    files.push_back({QString::fromLocal8Bit(name.data(), qsizetype(name.size())), name, {}});
                }
                // Devices, pipes and sockets are never opened.
            }
            it.increment(error);
            if (error) {
                note("Папка «" + shown(folder) + "» прочитана не до конца: " + reason(error) + ".");
                break;
            }
        }

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
            if (!this->folder(folder + f.name + '/', f.real, depth + 1))
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

    void note(std::string text) { out_.notes.push_back(std::move(text)); }

    // A link in the folder `here` to `here` itself or to a folder above it (both real paths):
    // followed, it would search the same files again and again.
    static bool leadsUp(const fs::path &here, const fs::path &there)
    {
        return std::mismatch(there.begin(), there.end(), here.begin(), here.end()).first == there.end();
    }

    Intake &out_;
    const IntakeCallback &progress_;
    std::set<fs::path::string_type> visited_;
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
        std::error_code error;
        if (path.empty() || !fs::is_directory(fs::path(path), error)) {
            out.paths.push_back(path);
        } else if (!search.folder(path.ends_with('/') ? path : path + '/', fs::canonical(fs::path(path), error), 0)) {
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

#pragma once
// Small helpers shared by the engine tests: scratch folders, file copies, running a command.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace testutil {

namespace fs = std::filesystem;

// A new, empty folder named PREFIX plus random digits inside `parent`; returns its path.
inline std::string uniqueFolder(const fs::path &parent, const std::string &prefix)
{
    std::random_device rd;
    for (;;) {
        fs::path p = parent / (prefix + std::to_string(rd()) + std::to_string(rd()));
        if (fs::create_directories(p))
            return p.string();
    }
}

// A fresh folder under the system temp dir, removed when the object goes away.
class TempDir {
public:
    TempDir() : path_(uniqueFolder(fs::temp_directory_path(), "zorvik-test-")) {}
    ~TempDir()
    {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const fs::path &path() const { return path_; }
    std::string str() const { return path_.string() + "/"; }

private:
    fs::path path_;
};

// Makes `folder` the working folder for the life of the object; the one before comes back
// however the test ends, so a failing test leaves no folder change to the next.
class WorkingFolder {
public:
    explicit WorkingFolder(const fs::path &folder) : previous_(fs::current_path()) { fs::current_path(folder); }
    ~WorkingFolder()
    {
        std::error_code ec;
        fs::current_path(previous_, ec);
    }
    WorkingFolder(const WorkingFolder &) = delete;
    WorkingFolder &operator=(const WorkingFolder &) = delete;

private:
    fs::path previous_;
};

inline std::string fixture(const std::string &rel) { return std::string(ZORVIK_FIXTURES) + "/" + rel; }

// A UTF-8 path (the engine's paths) as a filesystem path; a plain std::string would be read
// in the ANSI code page on Windows.
#ifdef _WIN32
inline fs::path u8(const std::string &utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }
#else
inline fs::path u8(const std::string &bytes) { return fs::path(bytes); }
#endif

inline void copy(const std::string &from, const std::string &to)
{
    // Removed first: overwrite_existing fails on MinGW's library when the target exists.
    fs::remove(u8(to));
    fs::copy_file(u8(from), u8(to));
    fs::permissions(u8(to), fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
}

inline std::vector<unsigned char> readAll(const std::string &path)
{
    std::ifstream f(u8(path), std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(f), {});
}

inline void writeAll(const std::string &path, const std::vector<unsigned char> &bytes)
{
    std::ofstream f(u8(path), std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

// A folder of its own for one test, removed afterwards, with fixtures copied into it.
class Scratch {
public:
    std::string folder() const { return dir_.str(); }
    std::string path(const std::string &name) const { return dir_.str() + name; }
    // Copies a fixture (relative to the fixtures folder) here under `name`, lets `edit` change
    // its bytes, and returns the new path. The copy is writable whatever the fixture's mode.
    template <typename Edit>
    std::string copy(const std::string &from, const std::string &name, Edit edit) const
    {
        std::vector<unsigned char> bytes = readAll(fixture(from));
        edit(bytes);
        writeAll(path(name), bytes);
        return path(name);
    }
    std::string copy(const std::string &from, const std::string &name) const
    {
        return copy(from, name, [](std::vector<unsigned char> &) {});
    }

private:
    TempDir dir_;
};

// Runs a shell command; returns its standard output, and its exit status in `status`.
// The independent tools are programs of the build machine: a Windows build, run under wine,
// cannot start them, so there every command fails (status -1) and the checks below answer
// "nothing found" -- the native build of the same tests does the checking.
#ifdef _WIN32
inline std::string run(const std::string &, int *status = nullptr)
{
    if (status)
        *status = -1;
    return {};
}
inline constexpr bool kIndependentTools = false;
#else
inline constexpr bool kIndependentTools = true;
inline std::string run(const std::string &command, int *status = nullptr)
{
    std::string out;
    FILE *p = popen(command.c_str(), "r");
    if (!p) {
        if (status)
            *status = -1;
        return out;
    }
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    int rc = pclose(p);
    if (status)
        *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}
#endif

// The independent tools: the index checker and the Python readers (Debian's python3-dbfread and
// python3-dbf live under /usr/bin/python3).
inline std::string python() { return "/usr/bin/python3"; }
inline std::string tool(const std::string &name) { return std::string(ZORVIK_TESTS_DIR) + "/tools/" + name; }
inline bool havePython(const std::string &modules)
{
    int rc = 0;
    run(python() + " -c 'import " + modules + "' 2>/dev/null", &rc);
    return rc == 0;
}

// The independent index checker on TABLE.dbf (and, with `dbfread`, a full read in
// python3-dbfread): empty when both are content, else what they printed.
inline std::string independentProblems(const std::string &table, bool dbfread = false)
{
    if (!kIndependentTools)
        return {};
    int rc = 0;
    std::string out = run(python() + " " + tool("mdxcheck.py") + " " + table + " 2>&1", &rc);
    if (rc != 0)
        return out.empty() ? "mdxcheck.py failed" : out;
    if (dbfread) {
        out = run(python() + " -c \"import dbfread,sys; list(dbfread.DBF(sys.argv[1]))\" " + table + " 2>&1", &rc);
        if (rc != 0)
            return out.empty() ? "dbfread failed" : out;
    }
    return {};
}

} // namespace testutil

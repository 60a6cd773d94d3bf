#pragma once
// The complete structure of the tables of one build, written out for people (HTML, Markdown)
// and for programs (JSON, CSV). Plain C++: the writers know the table descriptions only.
#include "tables/tableinfo.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace exporter {

enum class Format { Html, Markdown, Json, Csv };

// The format an output file's extension names (.html/.htm, .md, .json, .csv; any letter case).
std::optional<Format> formatOf(const std::string &path);

std::string render(Format format, const std::vector<tables::TableInfo> &tables);

// The text of an export made table by table, in the order the tables come: the same text as
// render() gives for all of them at once. It is kept in pieces (the head, the contents list,
// the sections in chunks of about a megabyte), so a big export is never copied to grow.
class Text {
public:
    explicit Text(Format format);
    void add(const tables::TableInfo &table);
    // The text of the tables added so far, closed: the pieces to write one after another.
    std::vector<std::string_view> pieces() const;
    std::string whole() const;

private:
    std::string &section();

    Format format_;
    size_t count_ = 0;
    std::string head_;
    std::string contents_;
    std::vector<std::string> sections_;
};

// A Text made on a thread of its own while the tables are still being read: add() hands over
// what describes a table and returns at once; the thread makes the description and its text.
// finish() waits for the last one and gives the descriptions back in the order they came.
// Destroyed unfinished (the build failed), it stops the thread and drops what it holds.
class BackgroundText {
public:
    explicit BackgroundText(Format format);
    ~BackgroundText();
    BackgroundText(const BackgroundText &) = delete;
    BackgroundText &operator=(const BackgroundText &) = delete;

    void add(std::function<tables::TableInfo()> describe);
    // Rethrows what failed on the thread (memory running out).
    std::vector<tables::TableInfo> finish();
    // The text, once finish() has returned.
    Text &text() { return text_; }

private:
    void run();
    void stop(bool drop);

    Text text_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable room_;
    std::deque<std::function<tables::TableInfo()>> waiting_;
    bool closed_ = false;
    std::atomic<bool> dropping_ = false;
    std::exception_ptr failure_;
    std::vector<tables::TableInfo> done_;
    std::thread thread_;
};

// Writes `bytes` (or `pieces`, one after another) to `path` whole or not at all: into a new file
// beside it, then renamed over it, so a failed write leaves an older file of that name as it
// was. Throws tables::Error.
void writeWhole(const std::string &path, const std::string &bytes);
void writeWhole(const std::string &path, const std::vector<std::string_view> &pieces);

// A table read without error and without findings.
bool clean(const tables::TableInfo &table);

// Exit statuses of an export.
enum Status { AllClean = 0, SomeProblems = 1, NotWritten = 2 };

} // namespace exporter

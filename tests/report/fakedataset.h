#pragma once
// In-memory data sets for report tests: a plain one, and a detail linked to a master by a key
// column, which like the table engine's link holds only the rows of the master's current row.
#include "report/dataset.h"

#include <QFile>
#include <QRegularExpression>
#include <QString>

#include <map>
#include <ostream>
#include <vector>

// Readable QStrings in GoogleTest messages.
inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace reporttest {

// Pages of a PDF file, counted from its page objects; -1 when it is not a PDF.
inline int pdfPages(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray pdf = f.readAll();
    if (!pdf.startsWith("%PDF-"))
        return -1;
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![s\\w])"));
    return int(QString::fromLatin1(pdf).count(page));
}

using Row = std::map<QString, QString>;

class FakeDataSet : public report::DataSet {
public:
    std::vector<Row> rows;

    void first() override { pos_ = 0; ++firstCalls; }
    void next() override { ++pos_; }
    bool eof() const override { return pos_ >= rows.size(); }
    QString fieldText(const QString &column) const override
    {
        const auto it = rows.at(pos_).find(column);
        return it == rows.at(pos_).end() ? QString() : it->second;
    }
    std::size_t position() const { return pos_; }
    int firstCalls = 0;

private:
    std::size_t pos_ = 0;
};

class LinkedDataSet : public report::DataSet {
public:
    LinkedDataSet(const FakeDataSet &master, const QString &masterKey, const QString &key)
        : master_(master), masterKey_(masterKey), key_(key) {}

    std::vector<Row> rows;      // all rows, of every master row

    void first() override { follow(); pos_ = 0; }
    void next() override { follow(); ++pos_; }
    bool eof() const override { follow(); return pos_ >= view_.size(); }
    QString fieldText(const QString &column) const override
    {
        follow();
        const Row &row = rows.at(view_.at(pos_));
        const auto it = row.find(column);
        return it == row.end() ? QString() : it->second;
    }

private:
    // After the master has moved, the view holds the rows of its current row.
    void follow() const
    {
        const std::size_t at = master_.eof() ? std::size_t(-1) : master_.position();
        if (at == followed_)
            return;
        followed_ = at;
        view_.clear();
        pos_ = 0;
        if (master_.eof())
            return;
        if (indexed_ != rows.size()) {
            index_.clear();
            for (std::size_t i = 0; i < rows.size(); ++i)
                index_[rows[i].at(key_)].push_back(i);
            indexed_ = rows.size();
        }
        const auto found = index_.find(master_.fieldText(masterKey_));
        if (found != index_.end())
            view_ = found->second;
    }

    const FakeDataSet &master_;
    QString masterKey_, key_;
    mutable std::map<QString, std::vector<std::size_t>> index_;   // key -> rows, in stored order
    mutable std::size_t indexed_ = std::size_t(-1);
    mutable std::vector<std::size_t> view_;
    mutable std::size_t followed_ = std::size_t(-2);
    mutable std::size_t pos_ = 0;
};

struct FieldRow {
    QString name, type, size;
};

// The two catalogue tables as the catalogue build leaves them.
struct FakeCatalogue {
    FakeDataSet main;
    LinkedDataSet fields{main, QStringLiteral("ZORID"), QStringLiteral("ZOR_ID")};

    void addTable(const QString &name, const QString &path, const std::vector<FieldRow> &fieldRows)
    {
        const QString id = QString::number(main.rows.size() + 1);
        main.rows.push_back({{QStringLiteral("ZORTBLNAME"), name}, {QStringLiteral("ZORTBLPATH"), path},
                             {QStringLiteral("ZORID"), id}});
        for (const FieldRow &f : fieldRows)
            fields.rows.push_back({{QStringLiteral("ZOR_NAME"), f.name}, {QStringLiteral("ZOR_TYPE"), f.type},
                                   {QStringLiteral("ZOR_SIZE"), f.size}, {QStringLiteral("ZOR_ID"), id}});
    }
    // Tables T1.dbf ... Tn.dbf in /data/, each with `fieldsEach` fields.
    void addTables(int count, int fieldsEach)
    {
        for (int t = 1; t <= count; ++t) {
            std::vector<FieldRow> rows;
            for (int f = 1; f <= fieldsEach; ++f)
                rows.push_back({QStringLiteral("F%1").arg(f), QStringLiteral("Character"), QString::number(f)});
            addTable(QStringLiteral("T%1.dbf").arg(t), QStringLiteral("/data/"), rows);
        }
    }
};

} // namespace reporttest

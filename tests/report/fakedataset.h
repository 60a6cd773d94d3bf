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

    void first() override { m_pos = 0; ++firstCalls; }
    void next() override { ++m_pos; }
    bool eof() const override { return m_pos >= rows.size(); }
    QString fieldText(const QString &column) const override
    {
        const auto it = rows.at(m_pos).find(column);
        return it == rows.at(m_pos).end() ? QString() : it->second;
    }
    std::size_t position() const { return m_pos; }
    int firstCalls = 0;

private:
    std::size_t m_pos = 0;
};

class LinkedDataSet : public report::DataSet {
public:
    LinkedDataSet(const FakeDataSet &master, const QString &masterKey, const QString &key)
        : m_master(master), m_masterKey(masterKey), m_key(key) {}

    std::vector<Row> rows;      // all rows, of every master row

    void first() override { follow(); m_pos = 0; }
    void next() override { follow(); ++m_pos; }
    bool eof() const override { follow(); return m_pos >= m_view.size(); }
    QString fieldText(const QString &column) const override
    {
        follow();
        const Row &row = rows.at(m_view.at(m_pos));
        const auto it = row.find(column);
        return it == row.end() ? QString() : it->second;
    }

private:
    // After the master has moved, the view holds the rows of its current row.
    void follow() const
    {
        const std::size_t at = m_master.eof() ? std::size_t(-1) : m_master.position();
        if (at == m_followed)
            return;
        m_followed = at;
        m_view.clear();
        m_pos = 0;
        if (m_master.eof())
            return;
        if (m_indexed != rows.size()) {
            m_index.clear();
            for (std::size_t i = 0; i < rows.size(); ++i)
                m_index[rows[i].at(m_key)].push_back(i);
            m_indexed = rows.size();
        }
        const auto found = m_index.find(m_master.fieldText(m_masterKey));
        if (found != m_index.end())
            m_view = found->second;
    }

    const FakeDataSet &m_master;
    QString m_masterKey, m_key;
    mutable std::map<QString, std::vector<std::size_t>> m_index;   // key -> rows, in stored order
    mutable std::size_t m_indexed = std::size_t(-1);
    mutable std::vector<std::size_t> m_view;
    mutable std::size_t m_followed = std::size_t(-2);
    mutable std::size_t m_pos = 0;
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

#include "selection/picklist.h"

#include <QTest>

Q_DECLARE_METATYPE(selection::PathStyle)

using selection::PathStyle;

namespace {

QStringList toQt(const std::vector<std::string> &list)
{
    QStringList out;
    for (const std::string &s : list)
        out << QString::fromStdString(s);
    return out;
}

std::vector<std::string> toStd(const QStringList &list)
{
    std::vector<std::string> out;
    for (const QString &s : list)
        out.push_back(s.toStdString());
    return out;
}

} // namespace

class PickListTest : public QObject {
    Q_OBJECT
private slots:
    void splitPath_data()
    {
        QTest::addColumn<PathStyle>("style");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("name");

        QTest::newRow("windows: drive and folders") << PathStyle::Windows << R"(C:\DATA\CLIENTS.DBF)" << R"(C:\DATA\)" << "CLIENTS.DBF";
        QTest::newRow("windows: bare name") << PathStyle::Windows << "CLIENTS.DBF" << "" << "CLIENTS.DBF";
        QTest::newRow("windows: drive colon only") << PathStyle::Windows << "A:CLIENTS.DBF" << "A:" << "CLIENTS.DBF";
        QTest::newRow("windows: root folder") << PathStyle::Windows << R"(\ORDERS.DB)" << R"(\)" << "ORDERS.DB";
        QTest::newRow("windows: network share") << PathStyle::Windows << R"(\\srv\base\Клиенты.dbf)" << R"(\\srv\base\)" << "Клиенты.dbf";
        QTest::newRow("windows: slash is no separator") << PathStyle::Windows << "C:data/x.dbf" << "C:" << "data/x.dbf";
        QTest::newRow("windows files: a slash too") << PathStyle::WindowsFiles << R"(C:\Temp\t-1/Notes.dbt)" << R"(C:\Temp\t-1/)" << "Notes.dbt";
        QTest::newRow("windows: folder only") << PathStyle::Windows << R"(C:\DATA\)" << R"(C:\DATA\)" << "";
        QTest::newRow("posix: folders") << PathStyle::Posix << "/home/ann/data/clients.dbf" << "/home/ann/data/" << "clients.dbf";
        QTest::newRow("posix: bare name") << PathStyle::Posix << "clients.dbf" << "" << "clients.dbf";
        QTest::newRow("posix: relative folder") << PathStyle::Posix << "data/Заказы.db" << "data/" << "Заказы.db";
        QTest::newRow("posix: root") << PathStyle::Posix << "/x.dbf" << "/" << "x.dbf";
        QTest::newRow("posix: backslash and colon are name characters") << PathStyle::Posix << R"(/tmp/a:b\c.dbf)" << "/tmp/" << R"(a:b\c.dbf)";
        QTest::newRow("empty") << PathStyle::Posix << "" << "" << "";
    }

    void splitPath()
    {
        QFETCH(PathStyle, style);
        QFETCH(QString, path);
        QFETCH(QString, folder);
        QFETCH(QString, name);
        const selection::PathParts parts = selection::splitPath(path.toStdString(), style);
        QCOMPARE(QString::fromStdString(parts.folder), folder);
        QCOMPARE(QString::fromStdString(parts.name), name);
    }

    // The list box, NameList and PathList grow together, duplicates included.
    void appendPathKeepsTheListsInStep()
    {
        std::vector<std::string> names, paths;
        QStringList items;
        const auto addItem = [&](const std::string &name) { items << QString::fromStdString(name); };
        for (const char *path : {"/d/A.DBF", "B.DB", "/e/A.DBF", "/d/A.DBF"})
            selection::appendPath(path, names, paths, addItem, PathStyle::Posix);

        const QStringList expectedNames{"A.DBF", "B.DB", "A.DBF", "A.DBF"};
        QCOMPARE(items, expectedNames);
        QCOMPARE(toQt(names), expectedNames);
        QCOMPARE(toQt(paths), (QStringList{"/d/", "", "/e/", "/d/"}));
    }

    void indexOfName_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("index");

        const QStringList names{"A.DBF", "orders.db", "A.DBF", "Клиенты.dbf"};
        QTest::newRow("first of two equal names") << names << "A.DBF" << 0;
        QTest::newRow("later entry") << names << "orders.db" << 1;
        QTest::newRow("cyrillic") << names << "Клиенты.dbf" << 3;
        QTest::newRow("case differs") << names << "a.dbf" << -1;
        QTest::newRow("part of a name") << names << "A" << -1;
        QTest::newRow("empty list") << QStringList{} << "A.DBF" << -1;
    }

    void indexOfName()
    {
        QFETCH(QStringList, names);
        QFETCH(QString, name);
        QFETCH(int, index);
        QCOMPARE(selection::indexOfName(toStd(names), name.toStdString()), index);
    }
};

QTEST_GUILESS_MAIN(PickListTest)
#include "test_picklist.moc"

// The pieces around the window: the command line, the error text, the build's progress window.
#include "app/buildprogress.h"
#include "app/commandline.h"
#include "app/dialogs.h"

#include <QTest>

#include <stdexcept>

using app::CommandLine;

Q_DECLARE_METATYPE(app::CommandLine::Action)

class ShellTest : public QObject {
    Q_OBJECT
private slots:
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<CommandLine::Action>("action");
        QTest::addColumn<QStringList>("files");

        QTest::newRow("no arguments") << QStringList{} << CommandLine::Run << QStringList{};
        QTest::newRow("files in order") << QStringList{"/d/b.dbf", "a.db", "/d/b.dbf"} << CommandLine::Run
                                        << QStringList{"/d/b.dbf", "a.db", "/d/b.dbf"};
        QTest::newRow("--help") << QStringList{"a.dbf", "--help"} << CommandLine::Help << QStringList{};
        QTest::newRow("-h") << QStringList{"-h"} << CommandLine::Help << QStringList{};
        QTest::newRow("--version") << QStringList{"--version", "-h"} << CommandLine::Version << QStringList{};
        QTest::newRow("after -- everything is a file") << QStringList{"--", "--help", "-v"} << CommandLine::Run
                                                       << QStringList{"--help", "-v"};
        QTest::newRow("an unknown option is a file") << QStringList{"-x.dbf"} << CommandLine::Run << QStringList{"-x.dbf"};
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(CommandLine::Action, action);
        QFETCH(QStringList, files);
        const CommandLine line = app::parseCommandLine(arguments);
        QCOMPARE(line.action, action);
        if (action == CommandLine::Run)
            QCOMPARE(line.files, files);
    }

    // "--open" marks the files as handed over by the desktop; without it they are plain
    // command-line files. It is an option only before "--".
    void openOption_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("open");
        QTest::addColumn<QStringList>("files");

        QTest::newRow("plain files") << QStringList{"/d/a.dbf"} << false << QStringList{"/d/a.dbf"};
        QTest::newRow("--open before the files") << QStringList{"--open", "/d/a.dbf", "/e/b.db"} << true
                                                 << QStringList{"/d/a.dbf", "/e/b.db"};
        QTest::newRow("--open after them") << QStringList{"/d/a.dbf", "--open"} << true << QStringList{"/d/a.dbf"};
        QTest::newRow("--open alone") << QStringList{"--open"} << true << QStringList{};
        QTest::newRow("--open after -- is a file") << QStringList{"--", "--open"} << false << QStringList{"--open"};
    }

    void openOption()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, open);
        QFETCH(QStringList, files);
        const CommandLine line = app::parseCommandLine(arguments);
        QCOMPARE(line.action, CommandLine::Run);
        QCOMPARE(line.open, open);
        QCOMPARE(line.files, files);
    }

    void errorText_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");

        QTest::newRow("no full stop") << "Файл «A.DBF»: не найден" << "Файл «A.DBF»: не найден.";
        QTest::newRow("full stop kept") << "Таблица закрыта." << "Таблица закрыта.";
        QTest::newRow("ends in a number") << "Размер 1.5" << "Размер 1.5.";
        QTest::newRow("question mark") << "Что это?" << "Что это?.";
        QTest::newRow("empty") << "" << "";
    }

    void errorText()
    {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(app::errorText(std::make_exception_ptr(std::runtime_error(message.toStdString()))), shown);
    }

    void errorTextOfAnUnknownException()
    {
        QCOMPARE(app::errorText(std::make_exception_ptr(42)), QStringLiteral("Непредвиденная ошибка."));
    }

    // A short build shows nothing; once the delay has passed, the table and the count.
    void buildProgress()
    {
        QWidget parent;
        app::BuildProgress slow(&parent, std::chrono::hours(1));
        slow(0, 3, "A.DBF");
        QVERIFY(!slow.window());

        app::BuildProgress shown(&parent, std::chrono::milliseconds(0));
        shown(0, 3, "A.DBF");
        shown(1, 3, "Клиенты.dbf");
        QVERIFY(shown.window());
        QVERIFY(shown.window()->isVisible());
        QCOMPARE(shown.window()->labelText(), QStringLiteral("Таблица 2 из 3: Клиенты.dbf"));
        QCOMPARE(shown.window()->value(), 1);
        QCOMPARE(shown.window()->maximum(), 3);
    }
};

QTEST_MAIN(ShellTest)
#include "test_shell.moc"

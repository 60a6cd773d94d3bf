// The headless export: the start-up and Do it without a window. This test links no widgets and
// runs under a QGuiApplication, as `zorvik --pdf` does.
#include "shippedcatalogue.h"
#include "app/headless.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class HeadlessTest : public QObject {
    Q_OBJECT
private slots:
    // Each test in a fresh working folder of its own.
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        QDir::setCurrent(dir_->path());
    }

    void exportsTheReportOfThePickedTables()
    {
        copyCatalogue();
        QString messages;
        QTextStream errors(&messages);
        const QString table = QStringLiteral(ZORVIK_FIXTURES "/dbase/cp866.dbf");

        QCOMPARE(app::exportPdf(QStringLiteral("out.pdf"), {table}, errors), 0);
        QCOMPARE(messages, QString());
        QFile pdf(QStringLiteral("out.pdf"));
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QVERIFY(pdf.readAll().startsWith("%PDF-"));
    }

    void aTableThatCannotBeReadFailsWithItsMessage()
    {
        copyCatalogue();
        QString messages;
        QTextStream errors(&messages);

        QVERIFY(app::exportPdf(QStringLiteral("bad.pdf"), {QStringLiteral("gone.dbf")}, errors) != 0);
        QVERIFY(messages.contains(QStringLiteral("gone.dbf")));
        QVERIFY(messages.trimmed().endsWith(u'.'));
        QVERIFY(!QFile::exists(QStringLiteral("bad.pdf")));
    }

    void withoutTheCatalogueBothMessagesAndAFailure()
    {
        QString messages;
        QTextStream errors(&messages);

        QVERIFY(app::exportPdf(QStringLiteral("e.pdf"), {}, errors) != 0);
        QCOMPARE(messages, QStringLiteral("Не могу открыть файл ZORMain.dbf из поддиректории Data\\\n"
                                          "Не могу открыть файл ZORDet.dbf из поддиректории Data\\\n"));
    }

    void cleanup()
    {
        QDir::setCurrent(QDir::tempPath());
        dir_.reset();
    }

private:
    static void copyCatalogue()
    {
        QDir().mkpath(QStringLiteral("Data"));
        for (const char *file : {"ZORMain.dbf", "ZORMAIN.MDX", "ZORDet.dbf", "ZORDET.MDX"}) {
            const QString target = QStringLiteral("Data/") + QLatin1String(file);
            QVERIFY(QFile::copy(shippedCatalogue() + QLatin1String(file), target));
            QFile::setPermissions(target, QFile::permissions(target) | QFile::WriteOwner);
        }
    }

    std::unique_ptr<QTemporaryDir> dir_;
};

QTEST_MAIN(HeadlessTest)
#include "test_headless.moc"

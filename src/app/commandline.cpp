#include "app/commandline.h"

#include "app/version.h"
#include "tables/codepagechoice.h"

namespace app {

CommandLine parseCommandLine(const QStringList &arguments)
{
    CommandLine line;
    bool options = true;
    int codePage = 0;
    auto invalid = [&line](const QString &problem) {
        line.action = CommandLine::Invalid;
        line.problem = problem;
        return line;
    };
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (options && argument == u"--export") {
            if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty())
                return invalid(QStringLiteral("после --export нужно имя файла (.html, .md, .json или .csv)"));
            line.action = CommandLine::ExportStructure;
            line.exportFile = arguments[++i];
        } else if (options && argument == u"--codepage") {
            if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty())
                return invalid(QStringLiteral("после --codepage нужна кодовая страница"));
            codePage = tables::codepage::parseChoice(arguments[++i].toStdString());
            if (codePage < 0)
                return invalid(QStringLiteral("неизвестная кодовая страница «%1»; можно: auto, 866, 1251, koi8-r, "
                                              "437, 850, 852, 1250, 1252, utf-8").arg(arguments[i]));
        } else if (options && argument == u"--pdf") {
            if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty()) {
                line.action = CommandLine::Invalid;
                line.problem = QStringLiteral("после --pdf нужно имя файла PDF");
                return line;
            }
            line.action = CommandLine::ExportPdf;
            line.pdf = arguments[++i];
        } else if (options && argument == u"--csv") {
            if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty()) {
                line.action = CommandLine::Invalid;
                line.problem = QStringLiteral("после --csv нужно имя файла CSV");
                return line;
            }
            line.action = CommandLine::ExportCsv;
            line.csv = arguments[++i];
        } else if (options && argument == u"--open") {
            line.open = true;
        } else if (options && argument == u"--") {
            options = false;
        } else if (options && (argument == u"-h" || argument == u"--help" || argument == u"-?")) {
            line.action = CommandLine::Help;
            return line;
        } else if (options && (argument == u"-v" || argument == u"--version")) {
            line.action = CommandLine::Version;
            return line;
        } else {
            line.files << argument;
            line.codePages << codePage;
        }
    }
    if (line.action == CommandLine::ExportCsv && line.files.size() != 1) {
        line.action = CommandLine::Invalid;
        line.problem = QStringLiteral("после --csv ФАЙЛ нужна ровно одна таблица");
    }
    return line;
}

QString helpText()
{
    return QStringLiteral(
        "Использование: zorvik [--pdf ФАЙЛ | --export ФАЙЛ] [--codepage КС] [таблица ...]\n"
        "Описывает структуру таблиц dBASE (.dbf) и Paradox (.db): для каждой выбранной таблицы\n"
        "её поля с типами и размерами, в виде отчёта для печати.\n"
        "\n"
        "Таблицы, названные в командной строке, попадают в список «Базы:»; ещё их можно\n"
        "добавить кнопкой «Добавить». «Делай!» строит описание, «Посмотреть» показывает\n"
        "записи выбранной таблицы.\n"
        "\n"
        "Описание хранится в таблицах Data/ZORMain.dbf и Data/ZORDet.dbf (с индексами\n"
        "ZORMAIN.MDX и ZORDET.MDX) в текущем каталоге; они должны существовать до запуска.\n"
        "\n"
        "  --pdf ФАЙЛ     построить описание названных таблиц без окна и записать отчёт\n"
        "                 в ФАЙЛ (PDF); ошибки -- в стандартный поток ошибок, код выхода\n"
        "                 0 при успехе, иначе не 0\n"
        "  --csv ФАЙЛ ТАБЛИЦА\n"
        "                 записать все записи таблицы (кроме удалённых) в ФАЙЛ CSV (UTF-8);\n"
        "                 каталог Data и экран не нужны; код выхода 0, 3 если не всё\n"
        "                 удалось прочитать, иначе 1\n"
        "  Папка вместо таблицы -- все таблицы в ней и во вложенных папках.\n"
        "  --export ФАЙЛ  построить описание без окна и записать полную структуру таблиц\n"
        "                 в ФАЙЛ: .html, .md, .json или .csv (по расширению); таблица,\n"
        "                 которую не удалось прочитать, описывается с ошибкой; код выхода\n"
        "                 0 -- все таблицы прочитаны без замечаний, 1 -- файл записан, но\n"
        "                 есть ошибки или замечания, 2 -- неверная команда или файл не записан\n"
        "  --codepage КС  кодовая страница таблиц, названных после неё: auto, 866, 1251,\n"
        "                 koi8-r, 437, 850, 852, 1250, 1252, utf-8\n"
        "  --open         таблицы открыты из файлового менеджера («Открыть с помощью»):\n"
        "                 они попадают в список как выбранные кнопкой «Добавить», и\n"
        "                 «Посмотреть» показывает их сразу\n"
        "  -h, --help     эта справка\n"
        "  -v, --version  версия программы\n"
        "  --             всё дальнейшее -- имена таблиц\n"
        "\n"
        "Usage: zorvik [--pdf FILE | --export FILE] [--codepage CP] [table ...]\n"
        "Documents the structure of dBASE (.dbf) and Paradox (.db) tables as a printable report.\n"
        "The tables named are put on the pick list. The catalogue is kept in Data/ZORMain.dbf and\n"
        "Data/ZORDet.dbf below the current directory, which must exist.\n"
        "  --pdf FILE     build the catalogue of the tables named without a window and write\n"
        "                 the report to FILE (PDF); exit status 0 on success\n"
        "  --csv FILE TABLE  write every live record of TABLE to FILE (CSV, UTF-8); needs no\n"
        "                 catalogue and no display; exit status 0, 3 when not all could be read\n"
        "  A folder named stands for every table in it and below it.\n"
        "  --export FILE  write the complete structure of the tables to FILE (.html, .md, .json\n"
        "                 or .csv); exit 0 all clean, 1 written with errors or findings, 2 not\n"
        "                 written or a wrong command line\n"
        "  --codepage CP  code page of the tables named after it (auto, 866, 1251, koi8-r, ...)\n"
        "  --open         the tables come from a file manager (\"Open with\"): listed as if\n"
        "                 picked with Add, so View shows them at once\n"
        "  -h, --help     this help;  -v, --version  the version\n");
}

QString versionText()
{
    return QStringLiteral("%1 %2\n%3\nFile version %4, product version %2.\n%5\n")
        .arg(QString::fromUtf8(version::productName), QString::fromUtf8(version::productVersion),
             QString::fromUtf8(version::description), QString::fromUtf8(version::fileVersion),
             QString::fromUtf8(version::comment));
}

} // namespace app

// The command line as the program reads it, and the settings folder it names: every data file
// of the run lands there, in a private folder made when missing.

#include "shell/Application.h"

#include "core/DataFiles.h"
#include "storage/FiltersFile.h"
#include "storage/SeenMessages.h"
#include "storage/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>

using toppeek::shell::CommandLine;
using toppeek::shell::parseCommandLine;
using toppeek::shell::useSettingsFolder;

class CommandLineTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { toppeek::core::setDataFolder({}); }

    void readsTheOptionsAndRefusesWhatItCannotFollow() {
        const auto read = [](QStringList arguments) {
            arguments.prepend(QStringLiteral("toppeek"));
            return parseCommandLine(arguments);
        };
        QVERIFY(read({}).error.isEmpty());
        QVERIFY(read({QStringLiteral("-h")}).showHelp);
        QVERIFY(read({QStringLiteral("--version")}).showVersion);
        QCOMPARE(read({QStringLiteral("--settings-dir"), QStringLiteral("/p/work")}).settingsFolder,
                 QStringLiteral("/p/work"));
        QCOMPARE(read({QStringLiteral("--settings-dir=rel/home")}).settingsFolder,
                 QStringLiteral("rel/home"));

        for (const QStringList& wrong :
             {QStringList{QStringLiteral("--bogus")}, QStringList{QStringLiteral("--settings-dir")},
              QStringList{QStringLiteral("--settings-dir=")},
              QStringList{QStringLiteral("mailbox.txt")}}) {
            const CommandLine line = read(wrong);
            QVERIFY2(!line.error.isEmpty(), qPrintable(wrong.join(QLatin1Char(' '))));
            QVERIFY(!line.showHelp && !line.showVersion);
        }
    }

    void theSettingsFolderHoldsEveryDataFile() {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        // A relative name is taken from the current folder; missing parents are made too.
        const QString current = QDir::currentPath();
        QVERIFY(QDir::setCurrent(root.path()));
        const QString problem = useSettingsFolder(QStringLiteral("profiles/work/"));
        QDir::setCurrent(current);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));

        const QString folder = root.filePath(QStringLiteral("profiles/work"));
        QVERIFY(QFileInfo(folder).isDir());
        QCOMPARE(std::filesystem::status(folder.toStdString()).permissions(),
                 std::filesystem::perms::owner_all);
        for (const std::string& path :
             {toppeek::storage::settingsFilePath(), toppeek::storage::filtersFilePath(),
              toppeek::storage::seenMessagesFilePath()})
            QCOMPARE(QFileInfo(QString::fromStdString(path)).absolutePath(), folder);

        // What is not a usable folder is refused, and the folder chosen before stays.
        QFile file(root.filePath(QStringLiteral("plain-file")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QVERIFY(!useSettingsFolder(file.fileName()).isEmpty());
        QVERIFY(!useSettingsFolder(file.fileName() + QStringLiteral("/below")).isEmpty());
        QVERIFY(!useSettingsFolder(root.filePath(QString(300, QLatin1Char('x')))).isEmpty());
        QCOMPARE(
            QFileInfo(QString::fromStdString(toppeek::storage::settingsFilePath())).absolutePath(),
            folder);
    }
};

QTEST_MAIN(CommandLineTest)
#include "CommandLineTest.moc"

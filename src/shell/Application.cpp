#include "shell/Application.h"

#include "core/CoreDumps.h"
#include "core/DataFiles.h"
#include "core/Memory.h"
#include "mail/Connection.h"
#include "shell/SecretServiceStore.h"
#include "shell/Help.h"
#include "shell/MainWindowHooks.h"
#include "shell/Translations.h"
#include "shell/UpdateFetch.h"
#include "storage/Settings.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <memory>

namespace toppeek::shell {

namespace {

const char* const kContext = "CommandLine";

QString text(const char* source) {
    return QCoreApplication::translate(kContext, source);
}

bool isSet(const char* name) {
    return !qEnvironmentVariableIsEmpty(name);
}

// The options in the order --help lists them. Made afresh for each use, so that their texts are
// read in the language chosen by then.
struct Options {
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            text(QT_TRANSLATE_NOOP("CommandLine", "Show this help and exit."))};
    QCommandLineOption version{
        {QStringLiteral("v"), QStringLiteral("version")},
        text(QT_TRANSLATE_NOOP("CommandLine", "Show the program's version and exit."))};
    QCommandLineOption settingsDir{
        QStringLiteral("settings-dir"),
        text(QT_TRANSLATE_NOOP(
            "CommandLine",
            "Keep the settings, filters and the record of seen messages in <folder> (made when "
            "missing), for example to keep several profiles apart.")),
        text(QT_TRANSLATE_NOOP("CommandLine", "folder"))};

    void addTo(QCommandLineParser& parser) {
        parser.setApplicationDescription(text(QT_TRANSLATE_NOOP(
            "CommandLine", "Look at the mail waiting on a POP3 server and delete the spam before "
                           "downloading it.")));
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        parser.addOption(help);
        parser.addOption(version);
        parser.addOption(settingsDir);
    }
};

void print(std::FILE* stream, const QString& message) {
    std::fputs(message.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

// The connection layer's process-wide state (the host cache) for the whole life of the main
// window: started before it can check for mail, stopped once it is gone.
struct ConnectionLayer {
    ConnectionLayer() { mail::startConnectionLayer(); }
    ~ConnectionLayer() { mail::stopConnectionLayer(); }
    ConnectionLayer(const ConnectionLayer&) = delete;
    ConnectionLayer& operator=(const ConnectionLayer&) = delete;
};

int showMainWindow() {
    core::installOutOfMemoryHandler();
    installHelpKeyInEveryWindow();
    // Declared before the window, so that it outlives it.
    const ConnectionLayer connectionLayer;
    ui::MainWindow window(nullptr, mainWindowHooks());
    window.setPasswordStore(std::make_unique<shell::SecretServiceStore>());
    window.show();
    return QApplication::exec();
}

} // namespace

CommandLine parseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    Options options;
    options.addTo(parser);
    CommandLine line;
    if (!parser.parse(arguments)) {
        line.error = parser.errorText();
        return line;
    }
    if (!parser.positionalArguments().isEmpty()) {
        line.error = text(QT_TRANSLATE_NOOP("CommandLine", "Unexpected argument '%1'."))
                         .arg(parser.positionalArguments().first());
        return line;
    }
    line.showHelp = parser.isSet(options.help);
    line.showVersion = parser.isSet(options.version);
    if (parser.isSet(options.settingsDir)) {
        line.settingsFolder = parser.value(options.settingsDir);
        if (line.settingsFolder.isEmpty())
            line.error = text(
                QT_TRANSLATE_NOOP("CommandLine", "The option '--settings-dir' needs a folder."));
    }
    return line;
}

QString commandLineHelp() {
    QCommandLineParser parser;
    Options options;
    options.addTo(parser);
    return parser.helpText();
}

QString useSettingsFolder(const QString& folder) {
    const QString path = QDir::cleanPath(QDir::current().absoluteFilePath(folder));
    const QFileInfo info(path);
    if (!info.exists()) {
        if (!QDir().mkpath(path))
            return text(QT_TRANSLATE_NOOP("CommandLine", "The folder %1 cannot be made."))
                .arg(path);
        // Passwords may be kept in the settings file when there is no keyring.
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    } else if (!info.isDir()) {
        return text(QT_TRANSLATE_NOOP("CommandLine", "%1 is not a folder.")).arg(path);
    }
    if (!QFileInfo(path).isWritable())
        return text(QT_TRANSLATE_NOOP("CommandLine", "The folder %1 is not writable.")).arg(path);
    core::setDataFolder(QFile::encodeName(path).toStdString());
    if (storage::settingsFilePath().empty()) {
        core::setDataFolder({});
        return text(QT_TRANSLATE_NOOP("CommandLine", "The path of the folder %1 is too long."))
            .arg(path);
    }
    return {};
}

int runApplication(int argc, char** argv) {
    // Before anything reads a password.
    core::disableCoreDumps();
    QCoreApplication::setApplicationName(QStringLiteral("toppeek"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(programVersion()));
    // The desktop entry's name, which Wayland compositors match the window with.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.toppeek.TopPeek"));
    // Help, the version and a mistake on the command line are told without a desktop too; the
    // window needs one, and Qt would abort with a long diagnostic without it.
    const bool haveDisplay =
        isSet("DISPLAY") || isSet("WAYLAND_DISPLAY") || isSet("QT_QPA_PLATFORM");
    std::unique_ptr<QCoreApplication> application;
    if (haveDisplay)
        application = std::make_unique<QApplication>(argc, argv);
    else
        application = std::make_unique<QCoreApplication>(argc, argv);

    installTranslations();
    const CommandLine line = parseCommandLine(QCoreApplication::arguments());
    if (!line.error.isEmpty()) {
        print(stderr,
              QStringLiteral("toppeek: %1\n%2\n")
                  .arg(line.error, text(QT_TRANSLATE_NOOP(
                                       "CommandLine", "Try 'toppeek --help' for the options."))));
        return 2;
    }
    if (line.showHelp) {
        print(stdout, commandLineHelp());
        return 0;
    }
    if (line.showVersion) {
        print(stdout, QStringLiteral("TopPeek %1\n").arg(QString::fromLatin1(programVersion())));
        return 0;
    }
    if (!line.settingsFolder.isEmpty()) {
        const QString problem = useSettingsFolder(line.settingsFolder);
        if (!problem.isEmpty()) {
            print(stderr, QStringLiteral("toppeek: %1\n").arg(problem));
            return 1;
        }
    }
    if (!haveDisplay) {
        print(stderr,
              QStringLiteral("toppeek: %1\n")
                  .arg(text(QT_TRANSLATE_NOOP(
                      "CommandLine", "no display to show the window on (neither DISPLAY nor "
                                     "WAYLAND_DISPLAY is set)"))));
        return 1;
    }
    return showMainWindow();
}

} // namespace toppeek::shell

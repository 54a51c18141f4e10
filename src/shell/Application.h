// Starting the program: what its command line asks for, and the run of the application itself,
// so that main() only hands over to it.
#pragma once

#include <QString>
#include <QStringList>

namespace toppeek::shell {

// What the command line asks for. Qt's own options (-platform, -style, ...) are taken out by the
// application before it is read.
struct CommandLine {
    bool showHelp = false;
    bool showVersion = false;
    // The folder named by --settings-dir, as given; empty for the usual places.
    QString settingsFolder;
    // Why the command line cannot be followed (an unknown option, a missing value); empty when
    // it can.
    QString error;
};

// Reads arguments (the program's name first, as QCoreApplication::arguments gives them).
CommandLine parseCommandLine(const QStringList& arguments);

// The text --help prints: usage, options and what they do.
QString commandLineHelp();

// Makes folder (relative to the current one) the home of the settings, filters and seen-messages
// files of this run, creating it with permissions 0700 when missing. Returns why it cannot be
// used (not a folder, not writable, cannot be made), or the empty text when it is set.
QString useSettingsFolder(const QString& folder);

// Runs the program: reads the command line, prints help, version or an error where it asks for
// them, otherwise shows the main window until it closes. Returns the process's exit status: 0,
// 1 when the program could not start (no display, an unusable settings folder), 2 for a command
// line it cannot follow.
int runApplication(int argc, char** argv);

} // namespace toppeek::shell

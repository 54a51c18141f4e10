// Where the program finds the files it reads and keeps: beside its executable,
// or in the user's configuration folder when it cannot write there.
#pragma once

#include <optional>
#include <string>

namespace toppeek::core {

// The path of the file called name (its last component only) in the
// directory holding the running executable, at most 260 characters. A path
// that would be longer gives the empty text rather than a cut one, which
// could name some other file.
std::string programFilePath(const char* name);

// Where the program keeps its data file called name (its last component only): beside the
// executable (programFilePath) when that folder is writable, as in a build tree or a portable
// copy; otherwise, for an installed program, in the user's configuration folder
// $XDG_CONFIG_HOME/toppeek, else ~/.config/toppeek, created with permissions 0700 when missing
// (a program under /usr/local/bin would otherwise fail every save). Like programFilePath it
// gives the empty text rather than a path longer than 260 characters.
std::string dataFilePath(const char* name);

// Makes dataFilePath use folder (absolute, without a trailing '/') for every data file instead
// of looking beside the executable or in the configuration folder: the folder a user named for
// one of several profiles. The empty text goes back to the usual places.
void setDataFolder(std::string folder);

// What dataFilePath looks at, so that each case can be tried on any machine.
struct DataFileSurroundings {
    std::string programFolder;             // the executable's folder, ending in '/'
    std::optional<std::string> configHome; // $XDG_CONFIG_HOME; used only when absolute
    std::optional<std::string> home;       // the user's home folder
    bool (*isWritable)(const std::string& folder) = nullptr; // null: the file system decides
};
std::string dataFilePathIn(const char* name, const DataFileSurroundings& surroundings);

} // namespace toppeek::core

#include "core/DataFiles.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace toppeek::core {

namespace {

constexpr int maxPathLength = 260;

// The folder a user chose for this run; empty for the usual places.
std::string& chosenDataFolder() {
    static std::string folder;
    return folder;
}

// The last component of a file name: a data file never lands outside its folder.
std::string_view lastComponent(const char* name) {
    std::string_view file = name ? name : "";
    const auto slash = file.rfind('/');
    if (slash != std::string_view::npos)
        file.remove_prefix(slash + 1);
    return file;
}

// The executable's folder with its trailing '/', or nothing when it cannot be found.
std::optional<std::string> programFolder() {
    char exe[4096];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0)
        return std::nullopt;
    const std::string_view exePath(exe, static_cast<std::size_t>(n));
    const auto exeSlash = exePath.rfind('/');
    return std::string(exePath.substr(0, exeSlash == std::string_view::npos ? 0 : exeSlash + 1));
}

// A path cut to fit could name a different file, which a save would then overwrite; a path
// that does not fit gives no path at all.
std::string fitted(std::string path) {
    return path.size() > maxPathLength ? std::string() : path;
}

bool writableFolder(const std::string& folder) {
    return ::access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) == 0;
}

// Makes folder (and a missing parent) with permissions 0700; one that exists keeps its own.
bool makePrivateFolder(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0700) == 0)
        return true;
    if (errno == EEXIST)
        return true;
    if (errno != ENOENT)
        return false;
    const auto slash = folder.find_last_of('/', folder.size() - 1);
    if (slash == std::string::npos || slash == 0 || !makePrivateFolder(folder.substr(0, slash)))
        return false;
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

std::optional<std::string> environmentText(const char* variable) {
    const char* value = std::getenv(variable);
    if (value == nullptr || *value == '\0')
        return std::nullopt;
    return std::string(value);
}

std::optional<std::string> homeFolder() {
    if (auto home = environmentText("HOME"))
        return home;
    passwd entry{};
    passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr && *found->pw_dir != '\0')
        return std::string(found->pw_dir);
    return std::nullopt;
}

} // namespace

std::string programFilePath(const char* name) {
    const std::string_view file = lastComponent(name);
    const std::optional<std::string> folder = programFolder();
    if (!folder)
        return std::string(file); // no way to find the program: the current folder
    return fitted(*folder + std::string(file));
}

std::string dataFilePathIn(const char* name, const DataFileSurroundings& surroundings) {
    const std::string file(lastComponent(name));
    const auto writable = surroundings.isWritable ? surroundings.isWritable : writableFolder;
    if (writable(surroundings.programFolder))
        return fitted(surroundings.programFolder + file);

    std::string base;
    // Per the XDG base directory rules, a relative XDG_CONFIG_HOME is ignored.
    if (surroundings.configHome && surroundings.configHome->starts_with('/'))
        base = *surroundings.configHome;
    else if (surroundings.home && !surroundings.home->empty())
        base = *surroundings.home + "/.config";
    else
        return fitted(surroundings.programFolder + file); // nowhere else to go
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    const std::string folder = base + "/toppeek";
    const std::string path = fitted(folder + "/" + file);
    if (!path.empty())
        makePrivateFolder(folder);
    return path;
}

std::string dataFilePath(const char* name) {
    if (!chosenDataFolder().empty())
        return fitted(chosenDataFolder() + "/" + std::string(lastComponent(name)));
    const std::optional<std::string> folder = programFolder();
    if (!folder)
        return std::string(lastComponent(name));
    DataFileSurroundings surroundings;
    surroundings.programFolder = *folder;
    surroundings.configHome = environmentText("XDG_CONFIG_HOME");
    surroundings.home = homeFolder();
    return dataFilePathIn(name, surroundings);
}

void setDataFolder(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    chosenDataFolder() = std::move(folder);
}

} // namespace toppeek::core

// Options that newer versions keep in the settings file's first reserved text, one
// "name=value" line each. The file keeps the layout every version reads, and an older version
// stores that text as it read it, so the options outlive a run of an older version. Lines this
// version does not know are kept as they are.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace toppeek::storage {

struct Settings;

// The longest interval the preferences offer: a day.
inline constexpr int kMaxCheckIntervalMinutes = 1440;

// How many minutes lie between two checks nobody asked for; 0, never, unless the file says
// otherwise. A value out of range or not a number reads as 0.
int checkIntervalMinutes(const Settings& settings);
// Cut into 0..kMaxCheckIntervalMinutes. False, and nothing changed, when the text has no room.
bool setCheckIntervalMinutes(Settings& settings, int minutes);

// Whether the user has been told once that closing the window leaves the program in the tray.
bool trayCloseExplained(const Settings& settings);
void setTrayCloseExplained(Settings& settings);

// The value of name's line in text; absent without one.
std::optional<std::string> reservedOption(std::string_view text, std::string_view name);
// text with name's line set to value, replacing the line it had or added at the end. False,
// and text unchanged, when the result would be longer than maxLength or value holds a line
// break.
bool setReservedOption(std::string& text, std::string_view name, std::string_view value,
                       std::size_t maxLength);
// text without name's line; nothing changes when it has none.
void removeReservedOption(std::string& text, std::string_view name);

} // namespace toppeek::storage

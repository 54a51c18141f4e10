// The settings and filters of the demo: one account on the demo server and a filter set that
// marks the demo mailbox's spam. Shared by the tool that writes the demo's files and by the
// tests that check the demo mailbox against them.
#pragma once

#include "messages/Filters.h"
#include "storage/Settings.h"

#include <memory>
#include <string>

namespace toppeek::demo {

inline constexpr const char* kDemoAddress = "demo@example.org";
inline constexpr const char* kDemoUser = "demo";
inline constexpr const char* kDemoPassword = "demo";

// The demo account at host ("127.0.0.1:PORT"), APOP on, a body preview of 40 lines, and the
// update check recorded as done today: the demo never reaches past the loopback.
std::unique_ptr<Settings> demoSettings(const std::string& host);

// Rules on the subject, the sender and the header block, a banned domain for the pill spam,
// a friendly domain; every part switched on.
std::unique_ptr<Filters> demoFilters();

} // namespace toppeek::demo

// The settings and filters of the demo: the account on the demo server (and the same mailbox
// reached over STLS when the server offers it) and a filter set that marks the demo mailbox's
// spam. Shared by the tool that writes the demo's files and by the
// tests that check the demo mailbox against them.
#pragma once

#include "messages/Filters.h"
#include "storage/Settings.h"

#include <memory>
#include <optional>
#include <string>

namespace toppeek::demo {

inline constexpr const char* kDemoAddress = "demo@example.org";
inline constexpr const char* kDemoUser = "demo";
inline constexpr const char* kDemoPassword = "demo";
// The name of the second account, the same mailbox over a secured connection. Its address is
// still found in it, so that marking the messages not addressed to it works alike.
inline constexpr const char* kDemoSecuredAddress = "demo@example.org (STARTTLS)";

// The demo account at host ("127.0.0.1:PORT"), selected, APOP on, a body preview of 40 lines,
// and the update check recorded as done today: the demo never reaches past the loopback. With
// securedHost ("pop3+stls://127.0.0.1:PORT") a second account for the same mailbox follows.
std::unique_ptr<toppeek::storage::Settings>
demoSettings(const std::string& host, const std::optional<std::string>& securedHost = {});

// Rules on the subject, the sender and the header block, a banned domain for the pill spam,
// a friendly domain; every part switched on.
std::unique_ptr<toppeek::messages::Filters> demoFilters();

} // namespace toppeek::demo

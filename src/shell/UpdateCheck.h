// The update check: at most every few days the program fetches a short text that holds the
// number of its newest release and, when that is newer than its own, offers the home page.
//
// fetchUrl is the program's one HTTP client: a single blocking transfer into a caller's buffer.
// It runs on the GUI thread at start-up, so it is bounded in time: a network that silently drops
// packets would otherwise hold the program's start for minutes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace toppeek::shell {

// The program's own version, as the published one is compared with it.
const char* programVersion();

// The address of the text that names the newest release.
inline constexpr const char* kVersionUrl = "https://example.org/toppeek/version.txt";
// Days between two checks.
inline constexpr int kUpdateCheckInterval = 2;
// Bytes of the reply that are looked at.
inline constexpr unsigned kVersionReplySize = 1000;
// Characters kept of the published version text.
inline constexpr int kMaxVersionTextLength = 50;

// How long one transfer may take, in milliseconds.
struct FetchLimits {
    long connectTimeoutMs = 5000;
    long totalTimeoutMs = 10000;
};

// Fetches url (http or https, redirects followed) into buffer, keeping at most size bytes; the
// data is not terminated. received is set to the number of bytes kept, also when the transfer
// fails part-way. Returns the class of the HTTP status (status / 100, 2 for 200-299) when the
// transfer ended because the data ended or the buffer was full, 0 when it failed (no network, no
// server, a time-out, a broken connection). The request names the agent "Mozilla", asks every
// cache on the way for a fresh copy, and goes through the proxy the environment names
// (http_proxy, https_proxy, no_proxy).
int fetchUrl(const char* url, char* buffer, int& received, unsigned size,
             const FetchLimits& limits = {});

// 1 when published names a newer version than own, -1 when an older one, 0 when the same. Each
// text is read as at most 4 numbers separated by dots; empty fields do not count.
int compareVersions(const char* published, const char* own);

// The digits and dots of a reply, in order, at most kMaxVersionTextLength of them: a reply that
// reads "Version 3.5 (build 12)" gives "3.512".
std::string versionTextOf(const char* reply, int length);

// What a check takes from its surroundings; tests replace them.
struct UpdateCheckHooks {
    std::function<int()> today; // todayNumber when empty
    FetchLimits limits;
};

// Checks versionUrl when lastUpdateCheckDay is 0 or at least intervalDays lie behind it (a day
// in the future, after the clock was set back, counts as today). When the published version is
// newer than ownVersion, asks question (OK/Cancel) and opens homePageUrl on OK. The day is
// recorded after every check that got a 2xx reply, whatever the answer; after a failed one it
// stays, so that the next start tries again. Always returns 1.
int checkForUpdate(const char* versionUrl, const char* ownVersion, const char* title,
                   const char* question, const char* homePageUrl, std::uint32_t& lastUpdateCheckDay,
                   int intervalDays, const UpdateCheckHooks& hooks = {});

// The program's own check: its version address, version, question and home page, every two
// days.
int checkForProgramUpdate(std::uint32_t& lastUpdateCheckDay);

} // namespace toppeek::shell

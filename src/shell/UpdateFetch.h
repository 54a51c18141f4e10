// The update check's transfer and what it reads from the reply, apart from the question it may
// lead to: this part needs no Qt, runs on any thread and can be stopped from another one.
//
// fetchUrl is the program's one HTTP client: a single transfer into a caller's buffer, bounded in
// time (a network that silently drops packets would otherwise keep it for minutes).
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace toppeek::shell {

// The program's own version, as the published one is compared with it.
const char* programVersion();

// The address of the text that names the newest release, under the project's web address (see
// WebLinks.h).
#ifndef TOPPEEK_WEB_ADDRESS
#define TOPPEEK_WEB_ADDRESS "https://example.org/toppeek/"
#endif
inline constexpr const char* kVersionUrl = TOPPEEK_WEB_ADDRESS "version.txt";

// Whether url's host is one of the names kept for examples and documentation (example.org,
// example.com, example.net and their subdomains; the .example, .invalid and .test domains): a
// placeholder, never to be contacted.
bool isPlaceholderAddress(std::string_view url);

// Days between two checks.
inline constexpr int kUpdateCheckInterval = 2;
// Bytes of the reply that are looked at.
inline constexpr unsigned kVersionReplySize = 1000;
// Characters kept of the published version text.
inline constexpr int kMaxVersionTextLength = 50;

// How long one transfer may take, in milliseconds, and how it is stopped early.
struct FetchLimits {
    long connectTimeoutMs = 5000;
    long totalTimeoutMs = 10000;
    // When set, another thread may store true to end the transfer within a few milliseconds, as a
    // failure.
    const std::atomic<bool>* stop = nullptr;
};

// Fetches url (http or https, redirects followed; from an https address only to https ones, and
// with the trust store SSL_CERT_FILE names when it is set) into buffer, keeping at most size bytes;
// the data is not terminated. received is set to the number of bytes kept, also when the transfer
// fails part-way. Returns the class of the HTTP status (status / 100, 2 for 200-299) when the
// transfer ended because the data ended or the buffer was full, 0 when it failed (no network, no
// server, a time-out, a broken connection, a stop). The request names the agent "Mozilla", asks
// every cache on the way for a fresh copy, and goes through the proxy the environment names
// (http_proxy, https_proxy, no_proxy).
int fetchUrl(const char* url, char* buffer, int& received, unsigned size,
             const FetchLimits& limits = {});

// 1 when published names a newer version than own, -1 when an older one, 0 when the same. Each
// text is read as at most 4 numbers separated by dots; empty fields do not count.
int compareVersions(const char* published, const char* own);

// The digits and dots of a reply, in order, at most kMaxVersionTextLength of them: a reply that
// reads "Version 3.5 (build 12)" gives "3.512".
std::string versionTextOf(const char* reply, int length);

// True when a check is due on day today: lastUpdateCheckDay is 0 or at least intervalDays lie
// behind it. A recorded day in the future (the clock was set back) becomes today, so that the
// interval is waited from today rather than until the clock catches up.
bool updateCheckDue(std::uint32_t& lastUpdateCheckDay, long long today, int intervalDays);

// The version text of the reply at versionUrl (first kVersionReplySize bytes), or nothing when the
// transfer failed or the status was not 2xx.
std::optional<std::string> fetchPublishedVersion(const char* versionUrl,
                                                 const FetchLimits& limits = {});

} // namespace toppeek::shell

#include "shell/UpdateFetch.h"

#include "core/Ascii.h"
#include "core/Numbers.h"
#include "core/Text.h"
#include "discovery/CurlTransfer.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cstddef>
#include <cstring>
#include <string_view>

#ifndef TOPPEEK_VERSION
#define TOPPEEK_VERSION "0"
#endif

namespace toppeek::shell {

using core::isAsciiDigit;
using core::leadingDigitsValue;
using core::nextToken;
using discovery::CurlEasy;
using discovery::CurlList;

namespace {

constexpr int kMaxVersionFields = 4;
constexpr int kVersionTokenSize = 50;
// Whatever the status query cannot tell counts as a client error, so that no check is recorded.
constexpr long kUnknownStatus = 400;

// The fields of a version text, at most kMaxVersionFields of them.
struct VersionFields {
    std::array<long, kMaxVersionFields> value{};
    int count = 0;
};

VersionFields versionFields(const char* text) {
    VersionFields fields;
    if (text == nullptr)
        return fields;
    char token[kVersionTokenSize];
    int pos = 0;
    while (fields.count < kMaxVersionFields &&
           nextToken(token, kVersionTokenSize, text, pos, ".") != 0)
        fields.value[static_cast<std::size_t>(fields.count++)] = leadingDigitsValue(token);
    return fields;
}

// ---------------------------------------------------------------- libcurl

// The caller's buffer while a transfer fills it.
struct Sink {
    char* buffer = nullptr;
    std::size_t size = 0;
    std::size_t total = 0;
    bool full = false; // the transfer was stopped because the buffer was full
};

std::size_t keepData(char* data, std::size_t itemSize, std::size_t count, void* context) {
    auto* sink = static_cast<Sink*>(context);
    const std::size_t offered = itemSize * count;
    const std::size_t room = sink->size - sink->total;
    const std::size_t taken = std::min(offered, room);
    if (taken > 0)
        std::memcpy(sink->buffer + sink->total, data, taken);
    sink->total += taken;
    if (taken < offered) {
        // Returning less than offered stops the transfer; the rest of a long reply is not waited
        // for.
        sink->full = true;
    }
    return taken;
}

} // namespace

const char* programVersion() {
    return TOPPEEK_VERSION;
}

int fetchUrl(const char* url, char* buffer, int& received, unsigned size,
             const FetchLimits& limits) {
    received = 0;
    if (url == nullptr || (buffer == nullptr && size > 0))
        return 0;
    discovery::initialiseCurlOnce();
    const CurlEasy easy(curl_easy_init());
    if (!easy)
        return 0;
    CURL* handle = easy.get();

    // received is an int: a buffer beyond its range is used only as far as it reaches.
    Sink sink{buffer, std::min<std::size_t>(size, INT_MAX), 0, false};

    // Every cache on the way is asked for a fresh copy and to keep none: the text changes with
    // every release and an old copy would hide the new one.
    const CurlList headerList(curl_slist_append(nullptr, "Cache-Control: no-cache, no-store"));
    if (headerList) // appending keeps the list's head; a failure leaves the first line alone
        static_cast<void>(curl_slist_append(headerList.get(), "Pragma: no-cache"));

    curl_easy_setopt(handle, CURLOPT_URL, url);
    curl_easy_setopt(handle, CURLOPT_USERAGENT, "Mozilla");
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headerList.get());
    curl_easy_setopt(handle, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(handle, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    // A secure address may be moved only to another secure one: a redirect to http would let
    // anyone on the way answer for the project.
    const bool secure = std::string_view(url).size() >= 8 &&
                        core::equalsNoCase(std::string_view(url).substr(0, 8), "https://");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
    // TLS 1.2 or newer, with forward-secret suites only under 1.2, as the mail connections.
    curl_easy_setopt(handle, CURLOPT_SSLVERSION, CURL_SSLVERSION_TLSv1_2);
    curl_easy_setopt(handle, CURLOPT_SSL_CIPHER_LIST,
                     "ECDHE+AESGCM:ECDHE+CHACHA20:DHE+AESGCM:DHE+CHACHA20:ECDHE+AES:DHE+AES:"
                     "!aNULL:!eNULL:!PSK:!SRP");
    discovery::trustEnvironmentStore(handle);
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 10L);
    // The time-outs must work without signals: the program is a GUI with more than one thread.
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, std::max(limits.connectTimeoutMs, 1L));
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, std::max(limits.totalTimeoutMs, 1L));
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, keepData);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &sink);

    // Without a stop flag libcurl's own time-outs end the transfer.
    const CURLcode result = discovery::runTransfer(handle, limits.stop);
    received = static_cast<int>(sink.total);
    const bool transferred = result == CURLE_OK || (result == CURLE_WRITE_ERROR && sink.full);
    if (!transferred)
        return 0;

    long status = 0;
    if (curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK || status <= 0)
        status = kUnknownStatus;
    return static_cast<int>(status / 100);
}

bool isPlaceholderAddress(std::string_view url) {
    std::size_t start = url.find("://");
    start = start == std::string_view::npos ? 0 : start + 3;
    std::string_view authority = url.substr(start);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos)
        authority.remove_prefix(at + 1);
    // An IPv6 address keeps its brackets; a port goes.
    authority = authority.starts_with('[') ? authority.substr(0, authority.find(']') + 1)
                                           : authority.substr(0, authority.find(':'));
    std::string host(authority);
    for (char& c : host)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (host.ends_with('.'))
        host.pop_back();
    for (std::string_view name : {"example.org", "example.com", "example.net"})
        if (host == name || host.ends_with("." + std::string(name)))
            return true;
    for (std::string_view domain : {".example", ".invalid", ".test"})
        if (host.ends_with(domain) || host == domain.substr(1))
            return true;
    return false;
}

int compareVersions(const char* published, const char* own) {
    const VersionFields theirs = versionFields(published);
    const VersionFields ours = versionFields(own);
    for (int i = 0; i < theirs.count && i < ours.count; ++i) {
        const auto index = static_cast<std::size_t>(i);
        if (ours.value[index] < theirs.value[index])
            return 1;
        if (ours.value[index] > theirs.value[index])
            return -1;
    }
    if (theirs.count > ours.count)
        return 1;
    if (theirs.count < ours.count)
        return -1;
    return 0;
}

std::string versionTextOf(const char* reply, int length) {
    std::string text;
    for (int i = 0; reply != nullptr && i < length && text.size() < kMaxVersionTextLength; ++i) {
        const char c = reply[i];
        if (isAsciiDigit(c) || c == '.')
            text.push_back(c);
    }
    return text;
}

bool updateCheckDue(std::uint32_t& lastUpdateCheckDay, long long today, int intervalDays) {
    long long elapsed = today - static_cast<long long>(lastUpdateCheckDay);
    if (elapsed < 0) {
        lastUpdateCheckDay = static_cast<std::uint32_t>(today);
        elapsed = 0;
    }
    return lastUpdateCheckDay == 0 || elapsed >= intervalDays;
}

std::optional<std::string> fetchPublishedVersion(const char* versionUrl,
                                                 const FetchLimits& limits) {
    std::array<char, kVersionReplySize> reply{};
    int received = 0;
    if (fetchUrl(versionUrl, reply.data(), received, kVersionReplySize, limits) != 2)
        return std::nullopt;
    return versionTextOf(reply.data(), received);
}

} // namespace toppeek::shell

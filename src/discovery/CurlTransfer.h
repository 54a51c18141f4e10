// libcurl as the program's HTTP(S) fetches use it (the autoconfig documents of the settings search
// and the update check): the library set up once, its handles owned, the trust store the
// environment names, and a transfer that a stop flag and a deadline can end between short waits.
#pragma once

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>

namespace toppeek::discovery {

// The first transfer of a run sets libcurl up; its clean-up is left to the process's end, as the
// library may still be in use by then.
void initialiseCurlOnce();

struct CurlEasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct CurlListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;
using CurlList = std::unique_ptr<curl_slist, CurlListDeleter>;

// Has handle trust what the environment names for OpenSSL (SSL_CERT_FILE, SSL_CERT_DIR), as the
// mail connections do.
void trustEnvironmentStore(CURL* handle);

// Runs handle's transfer to its end. With neither a stop flag nor a deadline it is libcurl's own
// blocking transfer; else the same transfer in waits of a few milliseconds that look at both in
// between: CURLE_ABORTED_BY_CALLBACK once stop is set, CURLE_OPERATION_TIMEDOUT at the deadline.
CURLcode runTransfer(CURL* handle, const std::atomic<bool>* stop,
                     std::optional<std::chrono::steady_clock::time_point> deadline = {});

} // namespace toppeek::discovery

#include "discovery/CurlTransfer.h"

#include <cstdlib>
#include <mutex>

namespace toppeek::discovery {

namespace {

// Longest wait between two looks at the stop flag and the deadline: a program that is closing
// waits no longer for a transfer than this.
constexpr int kStopPollMs = 10;

struct MultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};

} // namespace

void initialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

void trustEnvironmentStore(CURL* handle) {
    if (const char* file = std::getenv("SSL_CERT_FILE"); file != nullptr && *file != '\0')
        curl_easy_setopt(handle, CURLOPT_CAINFO, file);
    if (const char* folder = std::getenv("SSL_CERT_DIR"); folder != nullptr && *folder != '\0')
        curl_easy_setopt(handle, CURLOPT_CAPATH, folder);
}

CURLcode runTransfer(CURL* handle, const std::atomic<bool>* stop,
                     std::optional<std::chrono::steady_clock::time_point> deadline) {
    if (stop == nullptr && !deadline)
        return curl_easy_perform(handle);
    const std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
    if (!multi || curl_multi_add_handle(multi.get(), handle) != CURLM_OK)
        return CURLE_OUT_OF_MEMORY;
    CURLcode result = CURLE_ABORTED_BY_CALLBACK;
    for (bool done = false; !done;) {
        if (stop != nullptr && stop->load()) {
            result = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        if (deadline && std::chrono::steady_clock::now() >= *deadline) {
            result = CURLE_OPERATION_TIMEDOUT;
            break;
        }
        int running = 0;
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        int queued = 0;
        while (const CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == handle) {
                result = message->data.result;
                done = true;
            }
        }
        if (!done && curl_multi_poll(multi.get(), nullptr, 0, kStopPollMs, nullptr) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
    }
    curl_multi_remove_handle(multi.get(), handle);
    return result;
}

} // namespace toppeek::discovery

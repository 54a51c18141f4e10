// The update check: at most every few days the program fetches a short text that holds the
// number of its newest release and, when that is newer than its own, offers the home page.
//
// The transfer and the reading of its reply are in UpdateFetch.h; this part asks the question.
// At start-up the transfer runs on a thread of its own, so that the main window never waits for
// it; the question follows when the answer arrives.
#pragma once

#include "core/Calendar.h"
#include "shell/UpdateFetch.h"

#include <QObject>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace toppeek::shell {

// What a check takes from its surroundings; tests replace them.
struct UpdateCheckHooks {
    std::function<int()> today; // todayNumber when empty
    FetchLimits limits;
};

// Checks versionUrl when lastUpdateCheckDay is 0 or at least intervalDays lie behind it (a day
// in the future, after the clock was set back, counts as today). When the published version is
// newer than ownVersion, asks question (OK/Cancel) and opens homePageUrl on OK. The day is
// recorded after every check that got a 2xx reply, whatever the answer; after a failed one it
// stays, so that the next start tries again. Waits for the transfer. Always returns 1.
int checkForUpdate(const char* versionUrl, const char* ownVersion, const char* title,
                   const char* question, const char* homePageUrl, std::uint32_t& lastUpdateCheckDay,
                   int intervalDays, const UpdateCheckHooks& hooks = {});

// The program's own check: its version address, version, question and home page, every two
// days.
int checkForProgramUpdate(std::uint32_t& lastUpdateCheckDay);

// The texts of one check, as checkForUpdate takes them.
struct UpdateCheckRequest {
    std::string versionUrl;
    std::string ownVersion;
    std::string title;
    std::string question;
    std::string homePageUrl;
    int intervalDays = kUpdateCheckInterval;
};

// The program's own request.
UpdateCheckRequest programUpdateRequest();

// checkForUpdate with the transfer on a thread of its own, started by the constructor when the
// check is due. The reply is handed to the thread that made the object (the GUI thread) through
// its event queue: there the day is recorded (a 2xx reply, as checkForUpdate records it) and the
// question asked. lastUpdateCheckDay must outlive the object. Destroying the object stops a
// transfer still running and returns within a few milliseconds; an answer not yet handed over is
// dropped, and the day stays as it was.
class BackgroundUpdateCheck : public QObject {
public:
    BackgroundUpdateCheck(UpdateCheckRequest request, std::uint32_t& lastUpdateCheckDay,
                          UpdateCheckHooks hooks = {});
    ~BackgroundUpdateCheck() override;
    BackgroundUpdateCheck(const BackgroundUpdateCheck&) = delete;
    BackgroundUpdateCheck& operator=(const BackgroundUpdateCheck&) = delete;

    // True from the start of a due check until its answer has been handled (the question, if
    // any, answered).
    bool pending() const { return pending_; }

    // Called once the answer has been handled, or the transfer failed; meant for tests.
    std::function<void()> onFinished;

private:
    void answered(const std::optional<std::string>& published);

    UpdateCheckRequest request_;
    std::uint32_t* lastUpdateCheckDay_;
    long long today_ = 0;
    bool pending_ = false;
    std::atomic<bool> stop_{false};
    std::thread transfer_;
};

// The program's check at start-up, in the background; a check already running is left alone.
void startProgramUpdateCheck(std::uint32_t& lastUpdateCheckDay);
// Ends the program's check, if one runs, without waiting for its answer.
void stopProgramUpdateCheck();

} // namespace toppeek::shell

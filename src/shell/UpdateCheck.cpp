#include "shell/UpdateCheck.h"

#include "core/Calendar.h"
#include "dialogs/MsgBox.h"
#include "dialogs/ProgramInfo.h"
#include "shell/WebLinks.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>

#include <optional>
#include <utility>

namespace toppeek::shell {

using core::todayNumber;

namespace {

constexpr const char* kUpdateQuestion =
    QT_TRANSLATE_NOOP("MsgBox", "A newer version of TopPeek is available.\n\nDo you want to open "
                                "the program's home page to download it?");

// Asks the question when published is newer, and opens the home page on OK.
void offerNewerVersion(const std::string& published, const char* ownVersion, const char* title,
                       const char* question, const char* homePageUrl) {
    // The question comes as an argument, which the box shows as it is: it is translated here.
    if (compareVersions(published.c_str(), ownVersion) > 0 &&
        dialogs::msgBox(dialogs::kMbAskOkCancel, title, "%s",
                        question != nullptr
                            ? QCoreApplication::translate("MsgBox", question).toUtf8().constData()
                            : "") == dialogs::kIdOk)
        openUrl(homePageUrl);
}

std::unique_ptr<BackgroundUpdateCheck> gProgramCheck;

} // namespace

int checkForUpdate(const char* versionUrl, const char* ownVersion, const char* title,
                   const char* question, const char* homePageUrl, std::uint32_t& lastUpdateCheckDay,
                   int intervalDays, const UpdateCheckHooks& hooks) {
    const long long today = hooks.today ? hooks.today() : todayNumber();
    if (!updateCheckDue(lastUpdateCheckDay, today, intervalDays))
        return 1;
    const std::optional<std::string> published = fetchPublishedVersion(versionUrl, hooks.limits);
    if (!published)
        return 1;
    offerNewerVersion(*published, ownVersion, title, question, homePageUrl);
    lastUpdateCheckDay = static_cast<std::uint32_t>(today);
    return 1;
}

int checkForProgramUpdate(std::uint32_t& lastUpdateCheckDay) {
    const UpdateCheckRequest request = programUpdateRequest();
    if (isPlaceholderAddress(request.versionUrl))
        return 1;
    return checkForUpdate(request.versionUrl.c_str(), request.ownVersion.c_str(),
                          request.title.c_str(), request.question.c_str(),
                          request.homePageUrl.c_str(), lastUpdateCheckDay, request.intervalDays);
}

UpdateCheckRequest programUpdateRequest() {
    return {kVersionUrl,     programVersion(),    dialogs::kProgramTitle,
            kUpdateQuestion, kProgramHomePageUrl, kUpdateCheckInterval};
}

BackgroundUpdateCheck::BackgroundUpdateCheck(UpdateCheckRequest request,
                                             std::uint32_t& lastUpdateCheckDay,
                                             UpdateCheckHooks hooks)
    : request_(std::move(request)), lastUpdateCheckDay_(&lastUpdateCheckDay) {
    today_ = hooks.today ? hooks.today() : todayNumber();
    if (!updateCheckDue(lastUpdateCheckDay, today_, request_.intervalDays))
        return;
    pending_ = true;
    FetchLimits limits = hooks.limits;
    limits.stop = &stop_;
    transfer_ = std::thread([this, url = request_.versionUrl, limits] {
        std::optional<std::string> published = fetchPublishedVersion(url.c_str(), limits);
        if (stop_.load())
            return;
        // Delivered on the object's own thread; dropped if the object is gone by then.
        QMetaObject::invokeMethod(
            this, [this, published = std::move(published)] { answered(published); },
            Qt::QueuedConnection);
    });
}

BackgroundUpdateCheck::~BackgroundUpdateCheck() {
    stop_ = true;
    if (transfer_.joinable())
        transfer_.join();
}

void BackgroundUpdateCheck::answered(const std::optional<std::string>& published) {
    if (published) {
        *lastUpdateCheckDay_ = static_cast<std::uint32_t>(today_);
        // The program may close, and so destroy this object, while the question is up: what the
        // question needs afterwards is copied, and nothing of the object is touched once it went.
        const QPointer<QObject> alive(this);
        const UpdateCheckRequest request = request_;
        offerNewerVersion(*published, request.ownVersion.c_str(), request.title.c_str(),
                          request.question.c_str(), request.homePageUrl.c_str());
        if (!alive)
            return;
    }
    pending_ = false;
    if (onFinished)
        onFinished();
}

void startProgramUpdateCheck(std::uint32_t& lastUpdateCheckDay) {
    // Until the project has pages of its own (the build's TOPPEEK_WEB_ADDRESS), whoever holds the
    // placeholder's name would be asked at every start.
    if (isPlaceholderAddress(programUpdateRequest().versionUrl))
        return;
    if (!gProgramCheck)
        gProgramCheck =
            std::make_unique<BackgroundUpdateCheck>(programUpdateRequest(), lastUpdateCheckDay);
}

void stopProgramUpdateCheck() {
    gProgramCheck.reset();
}

} // namespace toppeek::shell

#include "shell/SecretServiceStore.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <qt6keychain/keychain.h>

#include <algorithm>
#include <utility>

namespace toppeek::shell {

using storage::KeyringItem;
using storage::KeyringResult;

namespace {

KeyringResult resultOf(const QKeychain::Job& job) {
    switch (job.error()) {
    case QKeychain::NoError:
        return KeyringResult::Done;
    case QKeychain::EntryNotFound:
        return KeyringResult::NotFound;
    default:
        // No service, no bus, a refusal, a keyring left locked: the password
        // stays where it was. The job's error text is not passed on, so that
        // nothing about the item reaches a message or a log.
        return KeyringResult::Unavailable;
    }
}

// The item's label is the job's service name; its key tells accounts apart.
template <class Job> Job* startJob(QObject* parent, const KeyringItem& item) {
    auto* job = new Job(QString::fromStdString(item.label), parent);
    job->setKey(QString::fromStdString(item.key));
    job->setAutoDelete(true);
    // Never the plain-text file QtKeychain could fall back to.
    job->setInsecureFallback(false);
    return job;
}

bool isUtf8(const std::string& bytes) {
    const QString decoded = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    return decoded.toUtf8() == QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

} // namespace

SecretServiceStore::SecretServiceStore()
    : jobs_(std::make_unique<QObject>()), firstAnswerDeadline_(new QTimer(jobs_.get())) {
    firstAnswerDeadline_->setSingleShot(true);
    firstAnswerDeadline_->setInterval(kFirstAnswerWaitMs);
    QObject::connect(firstAnswerDeadline_, &QTimer::timeout, jobs_.get(), [this] { giveUp(); });
}

SecretServiceStore::~SecretServiceStore() {
    // The jobs' answers must not reach callers that are going away too.
    for (QObject* job : jobs_->children())
        job->disconnect();
}

void SecretServiceStore::watch(QObject* job, std::function<void(bool)> answer) {
    waiting_.emplace_back(job, std::move(answer));
    QObject::connect(static_cast<QKeychain::Job*>(job), &QKeychain::Job::finished, jobs_.get(),
                     [this, job](QKeychain::Job*) {
                         answered_ = true;
                         firstAnswerDeadline_->stop();
                         const auto found =
                             std::find_if(waiting_.begin(), waiting_.end(),
                                          [job](const auto& entry) { return entry.first == job; });
                         if (found == waiting_.end())
                             return;
                         std::function<void(bool)> answerNow = std::move(found->second);
                         waiting_.erase(found);
                         answerNow(false);
                     });
    if (!answered_ && !firstAnswerDeadline_->isActive())
        firstAnswerDeadline_->start();
}

void SecretServiceStore::giveUp() {
    if (answered_)
        return;
    silent_ = true;
    // Answers may make new requests, which find the store silent.
    std::vector<std::pair<QObject*, std::function<void(bool)>>> given = std::move(waiting_);
    waiting_.clear();
    for (auto& [job, answer] : given) {
        // The job finishes in its own time and deletes itself; nobody hears of it.
        QObject::disconnect(job, nullptr, jobs_.get(), nullptr);
        answer(true);
    }
}

namespace {

// A silent service's answer, from the event loop as the jobs' answers come.
void answerUnavailable(QObject* context, std::function<void()> answer) {
    QTimer::singleShot(0, context, std::move(answer));
}

} // namespace

void SecretServiceStore::store(const KeyringItem& item, const std::string& password,
                               Finished done) {
    if (silent_) {
        answerUnavailable(jobs_.get(),
                          [done = std::move(done)] { done(KeyringResult::Unavailable); });
        return;
    }
    auto* job = startJob<QKeychain::WritePasswordJob>(jobs_.get(), item);
    // Text where the bytes are UTF-8, so that other keyring tools show the
    // password as it is; anything else is kept byte for byte.
    if (isUtf8(password))
        job->setTextData(
            QString::fromUtf8(password.data(), static_cast<qsizetype>(password.size())));
    else
        job->setBinaryData(QByteArray(password.data(), static_cast<qsizetype>(password.size())));
    watch(job, [job, done = std::move(done)](bool gaveUp) {
        done(gaveUp ? KeyringResult::Unavailable : resultOf(*job));
    });
    job->start();
}

void SecretServiceStore::load(const KeyringItem& item, Loaded done) {
    if (silent_) {
        answerUnavailable(jobs_.get(), [done = std::move(done)] {
            done(KeyringResult::Unavailable, std::string());
        });
        return;
    }
    auto* job = startJob<QKeychain::ReadPasswordJob>(jobs_.get(), item);
    watch(job, [job, done = std::move(done)](bool gaveUp) {
        const KeyringResult result = gaveUp ? KeyringResult::Unavailable : resultOf(*job);
        const QByteArray data = result == KeyringResult::Done ? job->binaryData() : QByteArray();
        done(result, std::string(data.constData(), static_cast<std::size_t>(data.size())));
    });
    job->start();
}

void SecretServiceStore::remove(const KeyringItem& item, Finished done) {
    if (silent_) {
        answerUnavailable(jobs_.get(),
                          [done = std::move(done)] { done(KeyringResult::Unavailable); });
        return;
    }
    auto* job = startJob<QKeychain::DeletePasswordJob>(jobs_.get(), item);
    watch(job, [job, done = std::move(done)](bool gaveUp) {
        const KeyringResult result = gaveUp ? KeyringResult::Unavailable : resultOf(*job);
        done(result == KeyringResult::NotFound ? KeyringResult::Done : result);
    });
    job->start();
}

} // namespace toppeek::shell

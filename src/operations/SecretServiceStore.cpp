#include "operations/SecretServiceStore.h"

#include <QObject>
#include <QString>

#include <qt6keychain/keychain.h>

#include <utility>

namespace toppeek::operations {

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

SecretServiceStore::SecretServiceStore() : jobs_(std::make_unique<QObject>()) {}

SecretServiceStore::~SecretServiceStore() {
    // The jobs' answers must not reach callers that are going away too.
    for (QObject* job : jobs_->children())
        job->disconnect();
}

void SecretServiceStore::store(const KeyringItem& item, const std::string& password,
                               Finished done) {
    auto* job = startJob<QKeychain::WritePasswordJob>(jobs_.get(), item);
    // Text where the bytes are UTF-8, so that other keyring tools show the
    // password as it is; anything else is kept byte for byte.
    if (isUtf8(password))
        job->setTextData(
            QString::fromUtf8(password.data(), static_cast<qsizetype>(password.size())));
    else
        job->setBinaryData(QByteArray(password.data(), static_cast<qsizetype>(password.size())));
    QObject::connect(
        job, &QKeychain::Job::finished, jobs_.get(),
        [done = std::move(done)](QKeychain::Job* finished) { done(resultOf(*finished)); });
    job->start();
}

void SecretServiceStore::load(const KeyringItem& item, Loaded done) {
    auto* job = startJob<QKeychain::ReadPasswordJob>(jobs_.get(), item);
    QObject::connect(job, &QKeychain::Job::finished, jobs_.get(),
                     [job, done = std::move(done)](QKeychain::Job*) {
                         const KeyringResult result = resultOf(*job);
                         const QByteArray data =
                             result == KeyringResult::Done ? job->binaryData() : QByteArray();
                         done(result,
                              std::string(data.constData(), static_cast<std::size_t>(data.size())));
                     });
    job->start();
}

void SecretServiceStore::remove(const KeyringItem& item, Finished done) {
    auto* job = startJob<QKeychain::DeletePasswordJob>(jobs_.get(), item);
    QObject::connect(job, &QKeychain::Job::finished, jobs_.get(),
                     [done = std::move(done)](QKeychain::Job* finished) {
                         const KeyringResult result = resultOf(*finished);
                         done(result == KeyringResult::NotFound ? KeyringResult::Done : result);
                     });
    job->start();
}

} // namespace toppeek::operations

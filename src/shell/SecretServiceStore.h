// The desktop's keyring through the Secret Service (GNOME Keyring, KWallet),
// by way of QtKeychain. Requests run as jobs on the Qt event loop and answer
// from it; none of them blocks the calling thread, however long the keyring
// takes to unlock.
//
// A service that holds its bus name and never answers would make each
// request wait out the bus's own time-out (25 s). Until the service has
// answered once, requests share one wait of kFirstAnswerWaitMs from the
// first request; when it passes unanswered, every request still waiting and
// every later one of the run answers Unavailable at once, and the passwords
// stay in the settings file. Once the service has answered, a request may
// take as long as an unlock prompt takes.
#pragma once

#include "storage/PasswordStore.h"

#include <functional>
#include <memory>
#include <vector>

class QObject;
class QTimer;

namespace toppeek::shell {

class SecretServiceStore : public storage::PasswordStore {
public:
    SecretServiceStore();
    ~SecretServiceStore() override;

    void store(const storage::KeyringItem& item, const std::string& password,
               Finished done) override;
    void load(const storage::KeyringItem& item, Loaded done) override;
    void remove(const storage::KeyringItem& item, Finished done) override;

    static constexpr int kFirstAnswerWaitMs = 4000;

private:
    // Runs a started job: answer is what the job gives (on its own, or
    // Unavailable when the service fell silent).
    void watch(QObject* job, std::function<void(bool gaveUp)> answer);
    void giveUp();

    // Parent of the running jobs: they go, unanswered, with the store.
    std::unique_ptr<QObject> jobs_;
    QTimer* firstAnswerDeadline_ = nullptr;
    bool answered_ = false;
    bool silent_ = false;
    // The jobs still waiting for the service's first answer.
    std::vector<std::pair<QObject*, std::function<void(bool)>>> waiting_;
};

} // namespace toppeek::shell

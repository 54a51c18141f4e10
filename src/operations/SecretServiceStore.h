// The desktop's keyring through the Secret Service (GNOME Keyring, KWallet),
// by way of QtKeychain. Requests run as jobs on the Qt event loop and answer
// from it; none of them blocks the calling thread, however long the keyring
// takes to unlock.
#pragma once

#include "storage/PasswordStore.h"

#include <memory>

class QObject;

namespace toppeek::operations {

class SecretServiceStore : public storage::PasswordStore {
public:
    SecretServiceStore();
    ~SecretServiceStore() override;

    void store(const storage::KeyringItem& item, const std::string& password,
               Finished done) override;
    void load(const storage::KeyringItem& item, Loaded done) override;
    void remove(const storage::KeyringItem& item, Finished done) override;

private:
    // Parent of the running jobs: they go, unanswered, with the store.
    std::unique_ptr<QObject> jobs_;
};

} // namespace toppeek::operations

// Keeping account passwords in the desktop's keyring: what an edit or a
// removal of an account means for its keyring item, and the work that brings
// the keyring in line with the accounts before the settings file is written.
#pragma once

#include "storage/PasswordStore.h"
#include "storage/Settings.h"

#include <functional>
#include <memory>

namespace toppeek::storage {

// after is the edited copy of before, as the account editor left it. A
// password that was never read from the keyring and was left empty in the
// editor stays in the keyring; a new password makes the old item stale.
void noteAccountEdited(Settings& settings, const Account& before, Account& after);

// The account's keyring item goes at the next save.
void noteAccountRemoved(Settings& settings, const Account& removed);

// Whether the keyring has work to do for these settings: a password to put
// in, an item to move after a rename, a stale item to take out.
bool keyringWorkPending(const Settings& settings);

// Puts every known password that is not in the keyring yet into it, moves
// the items of renamed accounts and removes stale items, one request at a
// time. The account list must not change while it runs. finished is called
// once, with false when the keyring could not be used (the passwords left
// then stay in the file, as before). Destroying the sync drops the work
// left and any answer still to come.
class KeyringSync {
public:
    KeyringSync(Settings& settings, PasswordStore& store);
    ~KeyringSync();
    KeyringSync(const KeyringSync&) = delete;
    KeyringSync& operator=(const KeyringSync&) = delete;

    void start(std::function<void(bool keyringUsable)> finished);
    bool running() const { return running_; }

private:
    void next();
    void finish(bool usable);
    // Answers for a request of this sync, dropped once the sync is gone.
    template <class F> auto guarded(F f);

    Settings& settings_;
    PasswordStore& store_;
    std::function<void(bool)> finished_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    bool running_ = false;
    // Re-entered by a store that answers at once; the loop below takes over.
    bool stepping_ = false;
    bool stepAgain_ = false;
};

} // namespace toppeek::storage

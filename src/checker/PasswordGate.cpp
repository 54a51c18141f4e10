#include "checker/PasswordGate.h"

#include "storage/AccountOptions.h"

#include <utility>

namespace toppeek::checker {

using storage::Account;
using storage::KeyringItem;
using storage::KeyringResult;

PasswordGate::PasswordGate(storage::Settings& settings, std::string settingsPath,
                           GatePrompts prompts)
    : settings_(settings), settingsPath_(std::move(settingsPath)), prompts_(std::move(prompts)) {}

PasswordGate::~PasswordGate() {
    *alive_ = false;
    // Keyring answers still to come would find the gate gone.
    sync_.reset();
    store_.reset();
}

void PasswordGate::setStore(std::unique_ptr<storage::PasswordStore> store) {
    sync_.reset();
    store_ = std::move(store);
    state_ = KeyringState::Unknown;
    // Settings that keep their passwords to themselves (the demo's) never reach the desktop's
    // keyring, not even to ask whether there is one.
    if (store_ && storage::keyringOff(settings_))
        store_.reset();
    if (!store_)
        return;
    // Whether a keyring answers, for the Preferences to say where passwords go. Looking for an
    // item nobody stores never asks to unlock anything.
    KeyringItem probe;
    probe.label = "TopPeek";
    probe.key = "keyring probe";
    store_->load(probe, [this, alive = alive_](KeyringResult result, const std::string&) {
        if (*alive && state_ == KeyringState::Unknown)
            noteAnswer(result);
    });
}

void PasswordGate::dropStore() {
    sync_.reset();
    store_.reset();
    state_ = KeyringState::Unusable;
    while (waiting())
        leaveWait();
}

void PasswordGate::release() {
    *alive_ = false;
    sync_.reset();
    store_.reset();
}

void PasswordGate::noteAnswer(KeyringResult result) {
    state_ = result == KeyringResult::Unavailable ? KeyringState::Unusable : KeyringState::Usable;
}

void PasswordGate::enterWait() {
    if (waits_++ == 0 && prompts_.keyringWait)
        prompts_.keyringWait(true);
}

void PasswordGate::leaveWait() {
    if (--waits_ == 0 && prompts_.keyringWait)
        prompts_.keyringWait(false);
}

bool PasswordGate::ready(Account& account, const std::function<void()>& retry, bool interactive) {
    if (account.passwordKnown && account.signIn == storage::SignInMethod::OAuth2)
        return signedIn(account, interactive ? SignInMode::Interactive : SignInMode::Quiet);
    if (account.passwordKnown)
        return true;
    // A password the user chose not to keep is in no keyring either.
    if (!store_ || (!account.keyringItem && !storage::remembersPassword(settings_, account)))
        return prompts_.askPassword && prompts_.askPassword(account, KeyringResult::Unavailable);
    const KeyringItem item = account.keyringItem.value_or(storage::keyringItemFor(account));
    enterWait();
    store_->load(item, [this, alive = alive_, item, retry](KeyringResult result,
                                                           const std::string& password) {
        if (!*alive)
            return;
        leaveWait();
        noteAnswer(result);
        // The window was busy while it waited, so the accounts are as they were.
        Account* waiting = nullptr;
        for (Account* candidate : settings_.accounts)
            if (!candidate->passwordKnown && candidate->keyringItem == item)
                waiting = candidate;
        if (waiting == nullptr)
            return;
        if (result == KeyringResult::Done) {
            waiting->password = password;
            waiting->passwordKnown = true;
        } else if (waiting->signIn == storage::SignInMethod::OAuth2) {
            // No refresh token to be had: the account signs in anew.
            waiting->password.clear();
            waiting->passwordKnown = true;
        } else if (!prompts_.askPassword || !prompts_.askPassword(*waiting, result)) {
            return;
        }
        if (retry)
            retry();
    });
    return false;
}

bool PasswordGate::signedIn(Account& account, SignInMode mode) {
    const std::string refreshBefore = account.password;
    const SignInState state =
        prompts_.signIn ? prompts_.signIn(account, mode) : SignInState::SignInNeeded;
    if (account.password != refreshBefore) {
        // A new or renewed refresh token goes to the keyring with the next save; a refused one
        // is forgotten there too.
        account.keyringItem.reset();
        saveSettingsFile(nullptr);
    }
    switch (state) {
    case SignInState::Ready:
        return true;
    case SignInState::SignInNeeded:
        // A background check goes on for the other accounts; this one's says that it needs a
        // sign-in.
        account.accessToken.clear();
        return mode == SignInMode::Quiet;
    case SignInState::Declined:
        break;
    }
    return false;
}

bool PasswordGate::renewAccess(Account& account) {
    if (account.signIn != storage::SignInMethod::OAuth2 || !prompts_.signIn)
        return false;
    const std::string before = account.accessToken;
    return signedIn(account, SignInMode::Renew) && !account.accessToken.empty() &&
           account.accessToken != before;
}

bool PasswordGate::keyringWorkPending() const {
    return store_ && state_ != KeyringState::Unusable && storage::keyringWorkPending(settings_);
}

void PasswordGate::saveSettingsFile(std::function<void(bool)> then) {
    auto write = [this, then = std::move(then)] {
        const bool saved = storage::saveSettings(settingsPath_, settings_);
        if (then)
            then(saved);
    };
    if (!keyringWorkPending()) {
        write();
        return;
    }
    enterWait();
    sync_ = std::make_unique<storage::KeyringSync>(settings_, *store_);
    sync_->start([this, write = std::move(write)](bool usable) {
        noteAnswer(usable ? KeyringResult::Done : KeyringResult::Unavailable);
        // The passwords the keyring did not take stay in the file, as they were before there
        // was a keyring.
        write();
        leaveWait();
    });
}

} // namespace toppeek::checker

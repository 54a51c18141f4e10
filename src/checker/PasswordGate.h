// Whether an account's secret is at hand before a log-in, and the desktop's keyring behind it.
// A password the settings file does not hold comes from the keyring, which answers later,
// through the event loop; a keyring that has none, or a password the user chose not to keep,
// is asked for with the prompt the window passes in. An OAuth2 account's secret is its refresh
// token, turned into an access token by the sign-in the window passes in.
//
// The save that lets the keyring take the passwords before the settings file is written lives
// here too, so that the file never holds a password the keyring has taken.
#pragma once

#include "storage/KeyringPasswords.h"
#include "storage/PasswordStore.h"
#include "storage/Settings.h"

#include <functional>
#include <memory>
#include <string>

namespace toppeek::checker {

enum class KeyringState { Unknown, Usable, Unusable };

// What an OAuth2 account's sign-in gave.
enum class SignInState {
    Ready,        // an access token is at hand
    SignInNeeded, // no refresh token, or the provider refused it; only a sign-in in the browser
                  // helps
    Declined,     // the user did not want to sign in now, or the sign-in failed (already said)
};

// How a sign-in may go about getting an access token.
enum class SignInMode {
    Quiet,       // refresh when due; never open the browser (a background check)
    Interactive, // refresh when due; when that cannot help, ask and sign in in the browser
    Renew,       // the server refused the token: refresh now, whatever its expiry says
};

// What the gate asks of the window.
struct GatePrompts {
    // The password prompt; true when the user gave one (it is then in account.password).
    std::function<bool(storage::Account& account, storage::KeyringResult why)> askPassword;
    // The OAuth2 sign-in: puts a fresh access token into account.accessToken, refreshing it
    // or (when interactive, after asking) signing in anew in the browser; a renewed refresh
    // token goes into account.password.
    std::function<SignInState(storage::Account& account, SignInMode mode)> signIn;
    // The keyring keeps the program waiting (true) or has answered (false): the window shows
    // that it waits and refuses commands meanwhile.
    std::function<void(bool waiting)> keyringWait;
};

class PasswordGate {
public:
    // settingsPath is where saveSettingsFile writes.
    PasswordGate(storage::Settings& settings, std::string settingsPath, GatePrompts prompts);
    ~PasswordGate();
    PasswordGate(const PasswordGate&) = delete;
    PasswordGate& operator=(const PasswordGate&) = delete;

    // The desktop's keyring; without one the passwords stay in the settings file.
    void setStore(std::unique_ptr<storage::PasswordStore> store);
    // Lets go of the keyring: what it has not taken stays in the settings file.
    void dropStore();
    // The same without a word to the window, which may be going.
    void release();
    KeyringState keyringState() const { return state_; }
    bool waiting() const { return waits_ > 0; }

    // True when account's secret is at hand. Otherwise reads it from the keyring (asking the user
    // when the keyring has none to give) and calls retry once it is there; false meanwhile, and
    // when the user declined. A background check (interactive false) opens no browser: an OAuth2
    // account that needs a sign-in is let through without an access token, so that its check
    // says so.
    bool ready(storage::Account& account, const std::function<void()>& retry, bool interactive);
    // An OAuth2 account that found its access token refused: true when a new one came.
    bool renewAccess(storage::Account& account);

    // Writes the settings file once the keyring has taken what it can, then calls then with the
    // outcome of the write.
    void saveSettingsFile(std::function<void(bool saved)> then);
    // Whether saving now has work for the keyring (which then keeps the program waiting).
    bool keyringWorkPending() const;

private:
    void noteAnswer(storage::KeyringResult result);
    void enterWait();
    void leaveWait();
    // The OAuth2 sign-in; the refresh token it may renew goes to the keyring with the next save.
    bool signedIn(storage::Account& account, SignInMode mode);

    storage::Settings& settings_;
    std::string settingsPath_;
    GatePrompts prompts_;
    std::unique_ptr<storage::PasswordStore> store_;
    std::unique_ptr<storage::KeyringSync> sync_;
    KeyringState state_ = KeyringState::Unknown;
    int waits_ = 0;
    // Answers of the store for a gate that is gone are dropped.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace toppeek::checker

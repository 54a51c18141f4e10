// The options of the checker and its POP3 accounts, and the settings file
// that keeps them between runs.
#pragma once

#include "core/GrowArray.h"
#include "storage/PasswordStore.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace toppeek::core {
class RecordStream;
} // namespace toppeek::core

namespace toppeek::storage {

// How an account signs in.
enum class SignInMethod { Password, OAuth2 };

// Where an OAuth2 account signs in: its provider ("google", "microsoft", "other") and the
// application's registration there; the endpoints and scope for another provider.
struct OAuthSettings {
    std::string provider;
    std::string clientId;
    std::string clientSecret;
    std::string authorizationUrl;
    std::string tokenUrl;
    std::string scope;
};

// One POP3 account. Texts hold at most kMaxTextLength characters: editors
// copy into an account with copyAccount, and the file keeps no more.
struct Account {
    static constexpr int kMaxTextLength = 199;
    static constexpr std::int16_t kDefaultPort = 110;

    // Copied into every message fetched for the account; only the file sets it.
    std::int16_t accountTag = 0;
    // The e-mail address, also the account's name in every list.
    std::string address;
    std::string host;
    // Kept and stored; connections use the POP3 service port.
    std::int16_t port = kDefaultPort;
    std::string userName;
    std::string password;

    // Run time only. The keyring item that holds this account's password,
    // when one does; the file then keeps only a marker in its place. After a
    // rename it still names the old item until the password has moved.
    std::optional<KeyringItem> keyringItem;
    // False for a password kept in the keyring and not read from it yet:
    // password is empty then and must be looked up before a login.
    bool passwordKnown = true;

    // Run time only; the settings file's reserved text keeps the sign-in (SignInOptions.h).
    // For an OAuth2 account, password holds the refresh token and goes to the keyring as a
    // password does.
    SignInMethod signIn = SignInMethod::Password;
    OAuthSettings oauth;
    // The OAuth2 access token of this run, in memory only; empty until a sign-in gave one.
    std::string accessToken;
};

using AccountList = core::GrowArray<Account>;

struct Settings {
    static constexpr int kAccountsInitialCapacity = 20;
    static constexpr int kAccountsGrowBy = 5;
    static constexpr int kMaxReservedText1Length = 499;
    static constexpr int kMaxReservedTextLength = 199;
    static constexpr std::int32_t kDefaultMaxMessages = 100;
    static const char* const defaultReservedText3;
    static const char* const defaultReservedText4;

    Settings();

    std::int16_t bodyLines = 0;       // body lines fetched when a message is viewed
    AccountList accounts;             // owns its accounts, in the user's order
    std::int16_t selectedAccount = 0; // may lie outside the list; users clamp it
    std::uint8_t showAbout = 0;       // flag: 0 off
    std::int32_t maxMessages = kDefaultMaxMessages;
    std::uint8_t useApop = 0;       // flag: 0 off
    std::uint32_t mailboxBytes = 0; // run time only, never stored
    // Run time only, never stored: how many messages the server said the mailbox held at the last
    // check (less those a removal has deleted since); -1 when unknown.
    std::int32_t mailboxMessages = -1;
    std::uint8_t reservedFlag = 1; // kept and stored, nothing reads it
    std::string reservedText1;     // kept and stored, nothing reads them
    std::string reservedText2;
    std::string reservedText3 = defaultReservedText3;
    std::string reservedText4 = defaultReservedText4;
    std::uint32_t lastUpdateCheckDay = 0; // dayNumber of the last update check, 0 never
    // Run time only: items of removed accounts and replaced passwords, for
    // the next save to take out of the keyring.
    std::vector<KeyringItem> staleKeyringItems;
};

// A record with the defaults and no accounts.
std::unique_ptr<Settings> createDefaultSettings();
// Releasing the record releases its texts and every account; null is fine.
void freeSettings(std::unique_ptr<Settings> settings);

// Writes the whole settings file. The old file is replaced only when the new
// one was written completely; false (and the old file untouched) otherwise.
// A refresh token too long for the file's password field, which the file is
// to keep (no keyring took it), goes whole into the long secrets' file beside
// it (longSecretsFilePath), scrambled as the field would be and readable by
// the user alone; that file is written first, and removed when no account
// needs it any more.
bool saveSettings(const std::string& path, const Settings& settings);

// "toppeek-settings-tokens.dat" beside "toppeek-settings.dat".
std::string longSecretsFilePath(const std::string& settingsPath);

// The whole content of the settings file, written into an open stream.
void writeSettingsFile(core::RecordStream& stream, const Settings& settings);

// Reads the file into settings. False, with settings unchanged, when the
// file cannot be opened or is not a settings file. A file that ends early
// keeps what was read before the cut: the accounts in front of it (an
// account cut inside its password is kept with an empty password) and the
// earlier fields; the later ones keep the values settings held, except
// lastUpdateCheckDay, which becomes 0. The account list is replaced. An
// account whose password the file was not to keep (AccountOptions.h) reads
// with passwordKnown false. An OAuth2 account whose field is empty takes its
// refresh token from the long secrets' file, when that holds one for it.
bool loadSettings(const std::string& path, Settings& settings);

// Empty texts, accountTag 0, port 110.
std::unique_ptr<Account> newAccount();
// A copy with the same numbers and texts.
std::unique_ptr<Account> cloneAccount(const Account& source);
// Copies the numbers and the texts, each cut to kMaxTextLength characters.
void copyAccount(Account& destination, const Account& source);
// The release function of the account list; null is ignored.
void freeAccount(Account* account);

// The text an account's password field holds when the keyring has the
// password. Older versions read it as an ordinary password: a fixed text
// that tells nothing about the real one. No password the program keeps can
// equal it, since it starts with a control character no editor produces.
const std::string& keyringPasswordMarker();

// The keyring item named after the program and the account's address, host
// and user name.
KeyringItem keyringItemFor(const Account& account);

// Whether the file keeps only the marker for this account: its keyring item
// holds its password under its own name, or its password is not known here.
bool fileKeepsMarker(const Account& account);

// One account record; texts longer than the limit are written cut. The
// password field holds the marker when fileKeepsMarker says so, else the
// password, or nothing when keepPassword is false (the user chose not to
// have it written down).
bool writeAccount(core::RecordStream& stream, const Account& account, bool keepPassword = true);
// One account record, or null when the file ends before the account's
// password (a cut-off password reads as the empty text). A marker gives an
// account whose password is still to be read from its keyring item.
std::unique_ptr<Account> readAccount(core::RecordStream& stream);

// The settings file: beside the executable, or in the user's configuration folder when the
// program cannot write there (dataFilePath).
std::string settingsFilePath();

} // namespace toppeek::storage

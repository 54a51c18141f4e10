#include "storage/Settings.h"

#include "core/DataFiles.h"
#include "core/RecordStream.h"
#include "storage/AccountOptions.h"
#include "storage/RecordFields.h"
#include "storage/SignInOptions.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>
#include <vector>

namespace toppeek::storage {

using core::dataFilePath;
using core::RecordStream;

namespace {

constexpr const char* settingsFileName = "toppeek-settings.dat";
constexpr std::string_view kSettingsSignature = "\x1AVARROWCKRCnf";
constexpr int kAccountTextReadSize = Account::kMaxTextLength + 1;
constexpr std::string_view longSecretsSignature = "\x1ATopPeek long secrets 1";
// Room for an account's keyring key (three texts and two line breaks) and for any token a
// provider hands out; the record stream keeps no longer text whole anyway.
constexpr int longSecretKeyReadSize = 3 * kAccountTextReadSize + 2;
constexpr int longSecretReadSize = 32768;

// The key that scrambles stored passwords. It is generated rather than
// spelled out so that it does not stand in the executable as one text; it
// must never change, or stored passwords no longer read back.
const std::string& passwordKey() {
    static const std::string key = [] {
        std::string k;
        std::uint32_t x = 0x7013bee5u;
        for (int i = 0; i < 48; ++i) {
            x = x * 1103515245u + 12345u;
            k.push_back(static_cast<char>(((x >> 16) & 0x7F) | 0x20));
        }
        return k;
    }();
    return key;
}

// Whether the account's password field has room for what the file is to keep of its password:
// a refresh token of an OAuth2 account may be longer than any password, and is not kept cut,
// which no provider would take.
bool tooLongForField(const Account& account) {
    return account.signIn == SignInMethod::OAuth2 &&
           account.password.size() > static_cast<std::size_t>(Account::kMaxTextLength);
}

bool keptInKeyring(const Account& account, bool keepPassword) {
    return fileKeepsMarker(account) && (keepPassword || account.keyringItem.has_value());
}

// Whether the file is to keep the account's secret, but in the long secrets' file beside it.
bool keptBeside(const Account& account, bool keepPassword) {
    return keepPassword && !keptInKeyring(account, keepPassword) && tooLongForField(account);
}

std::vector<const Account*> accountsKeptBeside(const Settings& settings) {
    std::vector<const Account*> kept;
    const int count = std::min(settings.accounts.count(), maxListCount);
    for (int i = 0; i < count; ++i) {
        const Account& account = *settings.accounts.at(i);
        if (keptBeside(account, remembersPassword(settings, account)))
            kept.push_back(&account);
    }
    return kept;
}

// Gives the OAuth2 accounts whose field was left empty for it their secret from the file beside
// the settings. A file that is missing or damaged gives what it holds whole, and the others
// sign in again.
void readLongSecrets(const std::string& path, Settings& settings) {
    std::unique_ptr<RecordStream> stream = RecordStream::open(path, false);
    if (!stream)
        return;
    if (stream->expectSignature(longSecretsSignature)) {
        const int count = readCount(*stream).value_or(0);
        for (int i = 0; i < count; ++i) {
            const std::optional<std::string> key = readText(*stream, longSecretKeyReadSize);
            if (!key)
                break;
            const std::optional<std::string> secret =
                readScrambledText(*stream, longSecretReadSize, passwordKey());
            if (!secret)
                break;
            for (Account* account : settings.accounts)
                if (account->signIn == SignInMethod::OAuth2 && account->password.empty() &&
                    account->passwordKnown && !account->keyringItem &&
                    keyringItemFor(*account).key == *key)
                    account->password = *secret;
        }
    }
    RecordStream::close(std::move(stream));
}

std::string cut(const std::string& text, int maxLength) {
    return text.substr(0, static_cast<std::size_t>(maxLength));
}

// Reads the accounts into list and returns true when the whole list
// arrived. Reading stops at the first account the file cuts off.
bool readAccounts(RecordStream& stream, AccountList& list) {
    const std::optional<int> count = readCount(stream);
    if (!count)
        return false;
    for (int i = 0; i < *count; ++i) {
        std::unique_ptr<Account> account = readAccount(stream);
        if (!account)
            return false;
        if (list.append(account.get()) >= 0)
            account.release();
    }
    return true;
}

// Reads the fields behind the signature; each field that arrives replaces
// the one in settings, and the first one that does not ends the reading.
void readSettingsFields(RecordStream& stream, Settings& settings) {
    // A file without the day records no check, so the next start checks
    // again; this holds for a file cut anywhere before the day too.
    settings.lastUpdateCheckDay = 0;
    auto readReserved = [&](std::string& field, int maxLength) {
        std::optional<std::string> text = readText(stream, maxLength + 1);
        if (text)
            field = std::move(*text);
        return text.has_value();
    };
    std::uint32_t maxMessages = 0;
    if (!readInt16(stream, settings.bodyLines) || !readInt16(stream, settings.selectedAccount) ||
        !readAccounts(stream, settings.accounts) || !readByte(stream, settings.showAbout) ||
        !readUint32(stream, maxMessages))
        return;
    settings.maxMessages = static_cast<std::int32_t>(maxMessages);
    if (!readByte(stream, settings.useApop) || !readByte(stream, settings.reservedFlag) ||
        !readReserved(settings.reservedText1, Settings::kMaxReservedText1Length) ||
        !readReserved(settings.reservedText2, Settings::kMaxReservedTextLength) ||
        !readReserved(settings.reservedText3, Settings::kMaxReservedTextLength) ||
        !readReserved(settings.reservedText4, Settings::kMaxReservedTextLength))
        return;
    readUint32(stream, settings.lastUpdateCheckDay);
}

} // namespace

const char* const Settings::defaultReservedText3 = "TopPeek";
const char* const Settings::defaultReservedText4 = "POP3 mailbox checker";

void writeSettingsFile(RecordStream& stream, const Settings& settings) {
    stream.writeSignature(kSettingsSignature);
    stream.writeU16(settings.bodyLines);
    stream.writeU16(settings.selectedAccount);
    const int count = std::min(settings.accounts.count(), maxListCount);
    writeCount(stream, count);
    for (int i = 0; i < count; ++i) {
        const Account& account = *settings.accounts.at(i);
        writeAccount(stream, account, remembersPassword(settings, account));
    }
    writeByte(stream, settings.showAbout);
    stream.writeU32(static_cast<std::uint32_t>(settings.maxMessages));
    writeByte(stream, settings.useApop);
    writeByte(stream, settings.reservedFlag);
    const std::array<std::string, 4> reserved = reservedTextsForFile(settings);
    writeText(stream, reserved[0], Settings::kMaxReservedText1Length);
    writeText(stream, reserved[1], Settings::kMaxReservedTextLength);
    writeText(stream, reserved[2], Settings::kMaxReservedTextLength);
    writeText(stream, reserved[3], Settings::kMaxReservedTextLength);
    stream.writeU32(settings.lastUpdateCheckDay);
}

Settings::Settings() : accounts(kAccountsInitialCapacity, kAccountsGrowBy, freeAccount) {}

std::unique_ptr<Settings> createDefaultSettings() {
    return std::make_unique<Settings>();
}

void freeSettings(std::unique_ptr<Settings> settings) {
    settings.reset();
}

bool saveSettings(const std::string& path, const Settings& settings) {
    if (path.empty())
        return false; // no place to write, and none to put the secrets beside
    const std::vector<const Account*> beside = accountsKeptBeside(settings);
    const std::string secretsPath = longSecretsFilePath(path);
    // The secrets go first: a settings file whose accounts expect them must never be there
    // without them.
    if (!beside.empty() && !saveReplacing(secretsPath, [&](RecordStream& stream) {
            stream.writeSignature(longSecretsSignature);
            writeCount(stream, static_cast<int>(beside.size()));
            for (const Account* account : beside) {
                stream.writeText(keyringItemFor(*account).key);
                stream.writeScrambledText(account->password, passwordKey());
            }
        }))
        return false;
    if (!saveReplacing(path, [&](RecordStream& stream) { writeSettingsFile(stream, settings); }))
        return false;
    // No secret is left lying about once the keyring took it or its account went.
    if (beside.empty())
        std::remove(secretsPath.c_str());
    return true;
}

std::string longSecretsFilePath(const std::string& settingsPath) {
    constexpr std::string_view extension = ".dat";
    std::string_view stem = settingsPath;
    if (stem.ends_with(extension))
        stem.remove_suffix(extension.size());
    return std::string(stem) + "-tokens.dat";
}

bool loadSettings(const std::string& path, Settings& settings) {
    std::unique_ptr<RecordStream> stream = RecordStream::open(path, false);
    if (!stream)
        return false;
    if (!stream->expectSignature(kSettingsSignature)) {
        RecordStream::close(std::move(stream));
        return false;
    }
    settings.accounts.clear();
    readSettingsFields(*stream, settings);
    RecordStream::close(std::move(stream));
    takeSignInOptions(settings);
    readLongSecrets(longSecretsFilePath(path), settings);
    // A password the file was not to keep is asked for before the first log-in.
    for (Account* account : settings.accounts)
        if (account->password.empty() && !account->keyringItem &&
            !remembersPassword(settings, *account))
            account->passwordKnown = false;
    return true;
}

std::unique_ptr<Account> newAccount() {
    return std::make_unique<Account>();
}

std::unique_ptr<Account> cloneAccount(const Account& source) {
    return std::make_unique<Account>(source);
}

void copyAccount(Account& destination, const Account& source) {
    destination.accountTag = source.accountTag;
    destination.address = cut(source.address, Account::kMaxTextLength);
    destination.host = cut(source.host, Account::kMaxTextLength);
    destination.port = source.port;
    destination.userName = cut(source.userName, Account::kMaxTextLength);
    // A refresh token may be longer than a password; the keyring keeps it whole.
    destination.password = source.signIn == SignInMethod::OAuth2
                               ? source.password
                               : cut(source.password, Account::kMaxTextLength);
    destination.keyringItem = source.keyringItem;
    destination.passwordKnown = source.passwordKnown;
    destination.signIn = source.signIn;
    destination.oauth = source.oauth;
    destination.accessToken = source.accessToken;
}

void freeAccount(Account* account) {
    delete account;
}

bool writeAccount(RecordStream& stream, const Account& account, bool keepPassword) {
    stream.writeU16(account.accountTag);
    writeText(stream, account.address, Account::kMaxTextLength);
    writeText(stream, account.host, Account::kMaxTextLength);
    stream.writeU16(account.port);
    writeText(stream, account.userName, Account::kMaxTextLength);
    // A password that is not to be kept and was not asked for this run is unknown without
    // being in the keyring: the file keeps nothing for it, not the keyring's marker. A refresh
    // token too long for the field leaves it empty; saveSettings keeps it whole beside the file,
    // and an older version sees an account without a password.
    const std::string_view password =
        keptInKeyring(account, keepPassword) ? std::string_view(keyringPasswordMarker())
        : keepPassword && !tooLongForField(account)
            ? std::string_view(account.password).substr(0, Account::kMaxTextLength)
            : std::string_view();
    stream.writeScrambledText(password, passwordKey());
    return true;
}

std::unique_ptr<Account> readAccount(RecordStream& stream) {
    auto account = std::make_unique<Account>();
    std::optional<std::string> address, host, userName;
    if (!readInt16(stream, account->accountTag) ||
        !(address = readText(stream, kAccountTextReadSize)) ||
        !(host = readText(stream, kAccountTextReadSize)) || !readInt16(stream, account->port) ||
        !(userName = readText(stream, kAccountTextReadSize)))
        return nullptr;
    account->address = std::move(*address);
    account->host = std::move(*host);
    account->userName = std::move(*userName);
    account->password = readScrambledText(stream, kAccountTextReadSize, passwordKey()).value_or("");
    if (account->password == keyringPasswordMarker()) {
        account->password.clear();
        account->passwordKnown = false;
        account->keyringItem = keyringItemFor(*account);
    }
    return account;
}

const std::string& keyringPasswordMarker() {
    static const std::string marker = "\x01TopPeek: the password is in the desktop keyring\x01";
    return marker;
}

KeyringItem keyringItemFor(const Account& account) {
    KeyringItem item;
    item.label =
        "TopPeek: " + account.address + " (" + account.userName + " at " + account.host + ")";
    // Line breaks cannot occur in a host, a user name a server accepts or a
    // valid address, so the three fields stay apart.
    item.key = account.address + "\n" + account.host + "\n" + account.userName;
    return item;
}

bool fileKeepsMarker(const Account& account) {
    if (!account.passwordKnown)
        return true;
    return account.keyringItem && *account.keyringItem == keyringItemFor(account);
}

std::string settingsFilePath() {
    return dataFilePath(settingsFileName);
}

} // namespace toppeek::storage

// Options newer versions keep about single accounts, and a few about passwords, in the settings
// file's first reserved text (see ReservedOptions.h): one "name.TAG=value" line per account
// option, TAG being the account's tag (AccountTags.h). The file keeps its layout, and an older
// version keeps the lines as it read them.
#pragma once

#include "mail/Connection.h"
#include "storage/Settings.h"

#include <optional>

namespace toppeek::storage {

// The certificate the user trusts for the account's server although the certificate check
// refuses it; one per account.
std::optional<mail::TrustedCertificate> trustedCertificate(const Settings& settings,
                                                           const Account& account);
// Replaces the account's trusted certificate. False, and nothing changed, when the text has no
// room for it, or the room it would take is an account's sign-in's (SignInOptions.h).
bool setTrustedCertificate(Settings& settings, const Account& account,
                           const mail::TrustedCertificate& trusted);
void forgetTrustedCertificate(Settings& settings, const Account& account);
// A digest as people compare it with the one an administrator gives: upper-case hex bytes joined
// by colons ("AB:CD:..."); with lineBytes > 0 a line break after every lineBytes bytes.
std::string fingerprintText(std::string_view sha256, int lineBytes = 0);

// Whether the settings file keeps the account's password when no keyring takes it; true unless
// the user chose otherwise. Without it the password is asked once per run.
bool remembersPassword(const Settings& settings, const Account& account);
// False when the text has no room for the choice.
bool setRemembersPassword(Settings& settings, const Account& account, bool remember);

// Takes the options of an account that is removed out of the text, so that a later account
// given the same tag does not inherit them.
void forgetAccountOptions(Settings& settings, const Account& account);

// Whether a log-in that was to use APOP may send the password with PASS over a connection that
// is not secured, when the server's greeting carries no time stamp. Off unless the user chose
// it: a time stamp taken out on the way must not bring the password out in the clear.
bool apopPlainFallback(const Settings& settings);
void setApopPlainFallback(Settings& settings, bool allowed);

// Settings that keep their passwords in their own file and never reach the desktop's keyring
// (the demo's).
bool keyringOff(const Settings& settings);
void setKeyringOff(Settings& settings);

} // namespace toppeek::storage

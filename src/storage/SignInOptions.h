// How each account signs in, kept in the settings file's reserved texts: one line
// "sign-in ADDRESS=oauth2 PROVIDER CLIENT-ID SECRET [AUTHORIZATION-URL TOKEN-URL SCOPE]" per
// account that signs in with OAuth2 (SECRET "-" for none), in the first text with room. The
// file's layout stays the one every version reads; an older version keeps the lines as it read
// them, and sees an OAuth2 account as one whose password the server refuses. An account without
// a line signs in with its password.
#pragma once

#include "storage/Settings.h"

#include <array>
#include <optional>
#include <string>

namespace toppeek::storage {

// The account's line, without its line end; nothing for a password account.
std::optional<std::string> signInLine(const Account& account);

// The four reserved texts as the file keeps them: settings' own, with the line of every OAuth2
// account added to the first text with room for it. dropped counts the lines that found none.
std::array<std::string, 4> reservedTextsForFile(const Settings& settings, int* dropped = nullptr);

// Whether an account's sign-in would be kept by the file, when edited takes replaced's place in
// the account list (or is added at its end, for a null replaced): its line must hold no blank
// where a field goes, and must find room without taking that of a line that had some.
enum class SignInRoom { Fits, NotAField, NoRoom };
SignInRoom signInRoomFor(const Settings& settings, const Account* replaced, const Account& edited);

// Whether every sign-in line that finds room now would still find some with firstText in place
// of the first reserved text: an option that would push one out must not be set.
bool signInLinesKeepRoom(const Settings& settings, const std::string& firstText);

// Takes the sign-in lines out of the reserved texts just read and gives each account named by
// one its sign-in; lines of accounts that are gone are dropped.
void takeSignInOptions(Settings& settings);

} // namespace toppeek::storage

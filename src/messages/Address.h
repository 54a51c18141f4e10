// Finding e-mail addresses inside header values such as From and To, and a
// plain syntax test for them. Nothing is looked up and letter case is kept.
#pragma once

#include <cstddef>
#include <string>

namespace toppeek::messages {

// Controls, space, DEL and < > ( ) [ ] \ . , ; : @ "
bool isSpecialChar(unsigned char c);
// '.', '@' and every printable ASCII character that is not special. Bytes
// of 0x80 and above belong to no class and separate tokens.
bool isAddressChar(unsigned char c);
bool isAtomChar(unsigned char c);
bool isLabelChar(unsigned char c);

// Cuts the next run of address characters from text at position, at most
// size - 1 of them; an over-long run continues as the next token. False
// (and an empty token) when no token is left.
bool nextAddressToken(std::string& token, int size, const std::string& text, std::size_t& position);

// The first token that is a valid address; false when none is.
bool findFirstAddress(std::string& address, int size, const std::string& text,
                      std::size_t& position);

bool isValidAddress(const std::string& text);
// An account's address as the user names it: a valid address, optionally
// followed by a comment in parentheses ("demo@example.org (STARTTLS)"), as
// an address field may carry one.
bool isValidAccountAddress(const std::string& text);
bool isValidLocalPart(const std::string& text);
bool isValidDomain(const std::string& text);
bool isValidLabel(const std::string& text);
bool isValidAtom(const std::string& text);

// Everything after the first '@', at most size - 1 characters. False and an
// empty domain when address has no '@'.
bool domainOf(std::string& domain, int size, const std::string& address);

} // namespace toppeek::messages

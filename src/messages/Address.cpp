#include "messages/Address.h"

#include "core/Ascii.h"

#include <cstring>

namespace toppeek::messages {

using core::isAsciiDigit;
using core::isAsciiLetter;

bool isSpecialChar(unsigned char c) {
    if (c <= 0x20 || c == 0x7F)
        return true;
    return std::strchr("<>()[]\\.,;:@\"", c) != nullptr;
}

bool isAtomChar(unsigned char c) {
    return c >= 0x21 && c <= 0x7E && !isSpecialChar(c);
}

bool isAddressChar(unsigned char c) {
    return c == '.' || c == '@' || isAtomChar(c);
}

bool isLabelChar(unsigned char c) {
    return isAsciiLetter(static_cast<char>(c)) || isAsciiDigit(static_cast<char>(c)) || c == '-';
}

namespace {

// Every piece between dots, the last included, must pass test.
template <class Test> bool allPieces(const std::string& text, Test test) {
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = text.find('.', start);
        if (!test(text.substr(start, dot == std::string::npos ? std::string::npos : dot - start)))
            return false;
        if (dot == std::string::npos)
            return true;
        start = dot + 1;
    }
}

} // namespace

bool nextAddressToken(std::string& token, int size, const std::string& text,
                      std::size_t& position) {
    token.clear();
    // A zero byte ends the text as it would in a C string.
    auto atEnd = [&](std::size_t i) { return i >= text.size() || text[i] == '\0'; };
    if (atEnd(position))
        return false;
    // Without room for one character no token can ever be produced; refusing
    // here keeps findFirstAddress from looping on the same position.
    if (size < 2)
        return false;
    auto isAddress = [&](std::size_t i) {
        return isAddressChar(static_cast<unsigned char>(text[i]));
    };
    while (!atEnd(position) && !isAddress(position))
        ++position;
    if (atEnd(position))
        return false;
    const std::size_t limit = static_cast<std::size_t>(size - 1);
    while (!atEnd(position) && isAddress(position) && token.size() < limit)
        token += text[position++];
    // Behind a separator the next call starts afresh; behind a cut-off run
    // the rest of the run becomes the next token.
    if (!atEnd(position) && !isAddress(position))
        ++position;
    return true;
}

bool findFirstAddress(std::string& address, int size, const std::string& text,
                      std::size_t& position) {
    while (nextAddressToken(address, size, text, position))
        if (isValidAddress(address))
            return true;
    address.clear();
    return false;
}

bool isValidAtom(const std::string& text) {
    if (text.empty())
        return false;
    for (unsigned char c : text)
        if (!isAtomChar(c))
            return false;
    return true;
}

bool isValidLabel(const std::string& text) {
    if (text.empty())
        return false;
    const auto first = static_cast<unsigned char>(text.front());
    const auto last = static_cast<unsigned char>(text.back());
    if (!isAsciiLetter(first) || !(isAsciiLetter(last) || isAsciiDigit(last)))
        return false;
    for (unsigned char c : text)
        if (!isLabelChar(c))
            return false;
    return true;
}

bool isValidLocalPart(const std::string& text) {
    return allPieces(text, isValidAtom);
}

bool isValidDomain(const std::string& text) {
    return text.find('.') != std::string::npos && allPieces(text, isValidLabel);
}

bool isValidAddress(const std::string& text) {
    const std::size_t at = text.find('@');
    if (at == std::string::npos)
        return false;
    return isValidLocalPart(text.substr(0, at)) && isValidDomain(text.substr(at + 1));
}

bool isValidAccountAddress(const std::string& text) {
    const std::size_t open = text.find('(');
    if (open == std::string::npos)
        return isValidAddress(text);
    std::size_t end = open;
    while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\t'))
        --end;
    // One comment, closed at the very end, on one line, with no comment inside it.
    const std::string comment = text.substr(open + 1);
    if (end == 0 || comment.empty() || comment.back() != ')' ||
        comment.find_first_of("()\r\n") != comment.size() - 1)
        return false;
    return isValidAddress(text.substr(0, end));
}

bool domainOf(std::string& domain, int size, const std::string& address) {
    domain.clear();
    const std::size_t at = address.find('@');
    if (at == std::string::npos)
        return false;
    if (size > 0)
        domain = address.substr(at + 1, static_cast<std::size_t>(size - 1));
    return true;
}

} // namespace toppeek::messages

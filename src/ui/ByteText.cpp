#include "ui/ByteText.h"

namespace {

bool isContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Length of the sequence that lead starts, 0 for a byte that never starts one
// (a continuation byte, C0/C1 overlong leads, F5..FF).
int sequenceLength(unsigned char lead) {
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    return 0;
}

// Bytes of the incomplete sequence at the end of bytes, 0 when it ends on a
// sequence boundary.
std::size_t incompleteTail(std::string_view bytes) {
    std::size_t back = 0;
    while (back < 3 && back < bytes.size() &&
           isContinuation(static_cast<unsigned char>(bytes[bytes.size() - 1 - back]))) {
        ++back;
    }
    if (back == bytes.size()) {
        return 0;
    }
    const auto lead = static_cast<unsigned char>(bytes[bytes.size() - 1 - back]);
    const int length = sequenceLength(lead);
    if (length > 1 && static_cast<std::size_t>(length) > back + 1) {
        return back + 1;
    }
    return 0;
}

bool hasMultiByte(std::string_view bytes) {
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return true;
        }
    }
    return false;
}

} // namespace

bool isValidUtf8(std::string_view bytes) {
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    while (i < n) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const int length = sequenceLength(lead);
        if (length == 0 || i + static_cast<std::size_t>(length) > n) {
            return false;
        }
        if (length == 1) {
            ++i;
            continue;
        }
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        // The second byte's range is what rules out overlong forms (E0, F0),
        // surrogates (ED) and code points past U+10FFFF (F4).
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead == 0xE0) {
            low = 0xA0;
        } else if (lead == 0xED) {
            high = 0x9F;
        } else if (lead == 0xF0) {
            low = 0x90;
        } else if (lead == 0xF4) {
            high = 0x8F;
        }
        if (second < low || second > high) {
            return false;
        }
        for (int k = 2; k < length; ++k) {
            if (!isContinuation(static_cast<unsigned char>(bytes[i + k]))) {
                return false;
            }
        }
        i += static_cast<std::size_t>(length);
    }
    return true;
}

QString textFromBytes(std::string_view bytes, bool mayBeCut) {
    if (isValidUtf8(bytes)) {
        return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    }
    if (mayBeCut) {
        // Only a text that shows UTF-8 before the cut counts as cut UTF-8;
        // plain ASCII ending in a byte like E9 is as likely Latin-1 ("caf\xe9").
        const std::string_view whole = bytes.substr(0, bytes.size() - incompleteTail(bytes));
        if (whole.size() < bytes.size() && hasMultiByte(whole) && isValidUtf8(whole)) {
            return QString::fromUtf8(whole.data(), static_cast<qsizetype>(whole.size()));
        }
    }
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QString textFromBytes(const char* text) {
    return text == nullptr ? QString() : textFromBytes(std::string_view(text));
}

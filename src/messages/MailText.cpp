#include "messages/MailText.h"

#include "core/Ascii.h"
#include "messages/Charsets.h"

#include <gmime/gmime.h>
#include <gumbo.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>

namespace toppeek::messages {

using core::equalsNoCase;
using core::isAsciiBlank;
using core::isAsciiSpace;

namespace {

// --- The 8-bit rule ---

bool isContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Length of the sequence that lead starts, 0 for a byte that never starts one (a continuation
// byte, C0/C1 overlong leads, F5..FF).
int sequenceLength(unsigned char lead) {
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

// Bytes of the incomplete sequence at the end of bytes, 0 when it ends on a sequence boundary.
std::size_t incompleteTail(std::string_view bytes) {
    std::size_t back = 0;
    while (back < 3 && back < bytes.size() &&
           isContinuation(static_cast<unsigned char>(bytes[bytes.size() - 1 - back])))
        ++back;
    if (back == bytes.size())
        return 0;
    const auto lead = static_cast<unsigned char>(bytes[bytes.size() - 1 - back]);
    const int length = sequenceLength(lead);
    if (length > 1 && static_cast<std::size_t>(length) > back + 1)
        return back + 1;
    return 0;
}

bool hasEightBit(std::string_view bytes) {
    return std::any_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

std::string latin1ToUtf8(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size() * 2);
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            text += c;
        } else {
            text += static_cast<char>(0xC0 | (byte >> 6));
            text += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return text;
}

void appendCodePoint(std::string& text, unsigned long code) {
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        code = 0xFFFD;
    if (code < 0x80) {
        text += static_cast<char>(code);
    } else if (code < 0x800) {
        text += static_cast<char>(0xC0 | (code >> 6));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        text += static_cast<char>(0xE0 | (code >> 12));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (code >> 18));
        text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// --- GMime ---

void initialiseGMime() {
    static std::once_flag once;
    // Never shut down: other threads may still decode while the program ends, and what GMime
    // keeps stays reachable until then.
    std::call_once(once, [] { g_mime_init(); });
}

// Owns one reference of a GObject.
template <typename T> struct ObjectRef {
    T* object = nullptr;
    explicit ObjectRef(T* owned) : object(owned) {}
    ~ObjectRef() {
        if (object != nullptr)
            g_object_unref(object);
    }
    ObjectRef(const ObjectRef&) = delete;
    ObjectRef& operator=(const ObjectRef&) = delete;
    T* get() const { return object; }
};

bool needsDecoding(std::string_view value) {
    return value.find("=?") != std::string_view::npos;
}

// --- Encoded words (RFC 2047) ---

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

int base64Value(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

std::optional<std::string> decodeQ(std::string_view text) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '_') {
            bytes += ' ';
        } else if (text[i] == '=' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
                   hexValue(text[i + 2]) >= 0) {
            bytes += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            bytes += text[i]; // a stray "=" is kept as it came
        }
    }
    return bytes;
}

// Padding may be missing, as some senders leave it out; anything outside the alphabet makes the
// word malformed.
std::optional<std::string> decodeB(std::string_view text) {
    while (!text.empty() && text.back() == '=')
        text.remove_suffix(1);
    std::string bytes;
    unsigned int bits = 0;
    int count = 0;
    for (char c : text) {
        const int value = base64Value(c);
        if (value < 0)
            return std::nullopt;
        bits = (bits << 6) | static_cast<unsigned int>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            bytes += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    if (text.size() % 4 == 1)
        return std::nullopt;
    return bytes;
}

struct EncodedWord {
    std::string charset;
    std::string bytes;
    std::size_t end = 0; // just past "?="
};

// The encoded word starting at text[at] ("=?"), or nothing when it is malformed.
std::optional<EncodedWord> encodedWordAt(std::string_view text, std::size_t at) {
    const std::size_t charsetEnd = text.find('?', at + 2);
    if (charsetEnd == std::string_view::npos || charsetEnd == at + 2 ||
        charsetEnd + 3 >= text.size() || text[charsetEnd + 2] != '?')
        return std::nullopt;
    const char encoding = text[charsetEnd + 1];
    const std::size_t textStart = charsetEnd + 3;
    const std::size_t textEnd = text.find("?=", textStart);
    if (textEnd == std::string_view::npos)
        return std::nullopt;
    std::string_view charset = text.substr(at + 2, charsetEnd - at - 2);
    const std::string_view encoded = text.substr(textStart, textEnd - textStart);
    const auto blankOrControl = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    if (std::any_of(charset.begin(), charset.end(), blankOrControl) ||
        std::any_of(encoded.begin(), encoded.end(), blankOrControl))
        return std::nullopt;
    // RFC 2231 lets a language follow the charset.
    charset = charset.substr(0, charset.find('*'));
    std::optional<std::string> bytes;
    if (encoding == 'Q' || encoding == 'q')
        bytes = decodeQ(encoded);
    else if (encoding == 'B' || encoding == 'b')
        bytes = decodeB(encoded);
    if (!bytes)
        return std::nullopt;
    return EncodedWord{std::string(charset), std::move(*bytes), textEnd + 2};
}

// Bytes in a declared charset as UTF-8: a charset no reader knows leaves them to the 8-bit rule.
std::string textInCharset(std::string_view bytes, std::string_view charset, bool mayBeCut) {
    if (std::optional<std::string> encoding = encodingForLabel(charset);
        encoding && *encoding == "CP1252" && hasEightBit(bytes) && isValidUtf8(bytes)) {
        // Labelled ASCII or Latin-1 but written in UTF-8 by a sender that declared the default:
        // for ASCII labels that is the only reading that makes sense of 8-bit bytes.
        std::string lower(charset);
        for (char& c : lower)
            c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower == "us-ascii" || lower == "ascii" || lower == "ansi_x3.4-1968")
            return std::string(bytes);
    }
    if (std::optional<std::string> text = decodeCharset(bytes, charset, mayBeCut))
        return std::move(*text);
    return utf8FromBytes(bytes, mayBeCut);
}

// --- Parts ---

// The decoded content of a leaf part, converted from its declared charset.
std::string partText(GMimePart* part) {
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    if (content == nullptr)
        return {};
    const char* charset = g_mime_object_get_content_type_parameter(GMIME_OBJECT(part), "charset");
    ObjectRef<GMimeStream> memory(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(content, memory.get());
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(memory.get()));
    std::string_view decoded(reinterpret_cast<const char*>(bytes->data), bytes->len);
    // A cut message can end inside a character of the last part.
    if (charset == nullptr || *charset == '\0')
        return utf8FromBytes(decoded, true);
    return textInCharset(decoded, charset, true);
}

// A part whose Content-Type says "text" and no subtype.
bool isBareText(GMimeObject* object) {
    const char* declared = g_mime_object_get_header(object, "Content-Type");
    if (declared == nullptr)
        return false;
    std::string_view value(declared);
    while (!value.empty() && isAsciiSpace(value.front()))
        value.remove_prefix(1);
    if (value.size() < 4 || !equalsNoCase(value.substr(0, 4), "text"))
        return false;
    value.remove_prefix(4);
    while (!value.empty() && isAsciiSpace(value.front()))
        value.remove_prefix(1);
    return value.empty() || value.front() == ';';
}

// The value of an RFC 2231 parameter ("name*=charset'language'percent-encoded") in a raw header
// value, decoded, when it is given in one piece.
std::optional<std::string> extendedParameter(std::string_view header, std::string_view name) {
    for (std::size_t at = 0; at < header.size(); ++at) {
        const bool boundary = at == 0 || header[at - 1] == ';' || isAsciiSpace(header[at - 1]);
        if (!boundary || header.size() - at < name.size() + 2 ||
            !equalsNoCase(header.substr(at, name.size()), name) ||
            header.substr(at + name.size(), 2) != "*=")
            continue;
        std::string_view value = header.substr(at + name.size() + 2);
        value = value.substr(0, value.find(';'));
        while (!value.empty() && isAsciiSpace(value.back()))
            value.remove_suffix(1);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        const std::size_t charsetEnd = value.find('\'');
        const std::size_t languageEnd =
            charsetEnd == std::string_view::npos ? charsetEnd : value.find('\'', charsetEnd + 1);
        if (languageEnd == std::string_view::npos)
            return std::nullopt;
        std::string bytes;
        for (std::size_t i = languageEnd + 1; i < value.size(); ++i) {
            if (value[i] == '%' && i + 2 < value.size() && hexValue(value[i + 1]) >= 0 &&
                hexValue(value[i + 2]) >= 0) {
                bytes += static_cast<char>(hexValue(value[i + 1]) * 16 + hexValue(value[i + 2]));
                i += 2;
            } else {
                bytes += value[i];
            }
        }
        return textInCharset(bytes, value.substr(0, charsetEnd), false);
    }
    return std::nullopt;
}

// GMime hands a part's name over as a C string, which a NUL encoded in it ("%00") would end
// early, hiding what follows ("safe.pdf%00.exe"): such a name is read again from the header.
std::optional<std::string> nameWithNul(GMimeObject* object) {
    for (const auto& [header, parameter] :
         {std::pair{"Content-Disposition", "filename"}, std::pair{"Content-Type", "name"}}) {
        const char* raw = g_mime_object_get_header(object, header);
        if (raw == nullptr || std::strstr(raw, "%00") == nullptr)
            continue;
        if (std::optional<std::string> name = extendedParameter(raw, parameter))
            return name;
    }
    return std::nullopt;
}

struct PartsSeen {
    GMimePart* plain = nullptr;
    GMimePart* html = nullptr;
    std::vector<std::string> attachments;
};

void collectParts(GMimeObject* object, PartsSeen& seen, int depth) {
    // Nesting deeper than any real message has is a crafted one: it adds nothing to read.
    if (object == nullptr || depth > 32)
        return;
    if (GMIME_IS_MULTIPART(object)) {
        GMimeMultipart* multipart = GMIME_MULTIPART(object);
        const int count = g_mime_multipart_get_count(multipart);
        for (int i = 0; i < count; ++i)
            collectParts(g_mime_multipart_get_part(multipart, i), seen, depth + 1);
        return;
    }
    if (GMIME_IS_MESSAGE_PART(object)) {
        GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
        const char* subject = inner != nullptr ? g_mime_message_get_subject(inner) : nullptr;
        seen.attachments.push_back(subject != nullptr && *subject != '\0'
                                       ? safeToShow(utf8FromBytes(subject), LineBreaks::AsSpace) +
                                             ".eml"
                                       : std::string("message.eml"));
        return;
    }
    if (!GMIME_IS_PART(object))
        return;
    GMimePart* part = GMIME_PART(object);
    GMimeContentType* type = g_mime_object_get_content_type(object);
    const bool attached = g_mime_part_is_attachment(part);
    // "text" alone, without a subtype, is plain text; GMime takes it for application data.
    const bool plain = g_mime_content_type_is_type(type, "text", "plain") || isBareText(object);
    if (!attached && seen.plain == nullptr && plain) {
        seen.plain = part;
        return;
    }
    if (!attached && seen.html == nullptr && g_mime_content_type_is_type(type, "text", "html")) {
        seen.html = part;
        return;
    }
    if (const char* name = g_mime_part_get_filename(part); name != nullptr && *name != '\0')
        seen.attachments.push_back(
            safeToShow(nameWithNul(object).value_or(utf8FromBytes(name)), LineBreaks::AsSpace));
    else if (attached)
        seen.attachments.emplace_back("(no name)");
}

// Trims each line's blanks and keeps at most one empty line in a row.
std::string tidyLines(const std::string& text) {
    std::string tidy;
    int emptyLines = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string_view line(text.data() + start, end - start);
        while (!line.empty() && isAsciiBlank(line.front()))
            line.remove_prefix(1);
        while (!line.empty() && isAsciiBlank(line.back()))
            line.remove_suffix(1);
        if (line.empty()) {
            if (!tidy.empty() && ++emptyLines == 1)
                tidy += '\n';
        } else {
            emptyLines = 0;
            tidy += line;
            tidy += '\n';
        }
        start = end + 1;
    }
    while (tidy.size() >= 2 && tidy[tidy.size() - 1] == '\n' && tidy[tidy.size() - 2] == '\n')
        tidy.pop_back();
    return tidy;
}

} // namespace

bool isValidUtf8(std::string_view bytes) {
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    while (i < n) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const int length = sequenceLength(lead);
        if (length == 0 || i + static_cast<std::size_t>(length) > n)
            return false;
        if (length == 1) {
            ++i;
            continue;
        }
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        // The second byte's range is what rules out overlong forms (E0, F0), surrogates (ED) and
        // code points past U+10FFFF (F4).
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
        else if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
        if (second < low || second > high)
            return false;
        for (int k = 2; k < length; ++k)
            if (!isContinuation(static_cast<unsigned char>(bytes[i + k])))
                return false;
        i += static_cast<std::size_t>(length);
    }
    return true;
}

std::string utf8FromBytes(std::string_view bytes, bool mayBeCut) {
    if (isValidUtf8(bytes))
        return std::string(bytes);
    if (mayBeCut) {
        const std::string_view whole = bytes.substr(0, bytes.size() - incompleteTail(bytes));
        if (whole.size() < bytes.size() && hasEightBit(whole) && isValidUtf8(whole))
            return std::string(whole);
    }
    return latin1ToUtf8(bytes);
}

std::string decodeHeaderText(std::string_view value) {
    // Encoded words are ASCII: the 8-bit rule first leaves nothing to guess around them.
    const std::string text = utf8FromBytes(value);
    if (!needsDecoding(text))
        return text;
    std::string decoded;
    decoded.reserve(text.size());
    // Adjacent words of one charset are converted together: a character may be split between
    // them.
    std::string pendingCharset;
    std::string pendingBytes;
    auto flush = [&] {
        if (!pendingBytes.empty())
            decoded += textInCharset(pendingBytes, pendingCharset, false);
        pendingBytes.clear();
        pendingCharset.clear();
    };
    bool afterWord = false;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t word = text.find("=?", at);
        std::string_view between(text.data() + at,
                                 (word == std::string::npos ? text.size() : word) - at);
        std::optional<EncodedWord> parsed;
        if (word != std::string::npos)
            parsed = encodedWordAt(text, word);
        if (!parsed) {
            // Not a word: everything up to just after "=?" stays as it came.
            const std::size_t upTo = word == std::string::npos ? text.size() : word + 2;
            flush();
            decoded.append(text, at, upTo - at);
            at = upTo;
            afterWord = false;
            continue;
        }
        // Blanks between two encoded words only separate them.
        const bool onlyBlanks = std::all_of(between.begin(), between.end(), [](char c) {
            return isAsciiBlank(c) || c == '\r' || c == '\n';
        });
        if (!(afterWord && onlyBlanks)) {
            flush();
            decoded += between;
        }
        if (!equalsNoCase(parsed->charset, pendingCharset))
            flush();
        pendingCharset = parsed->charset;
        pendingBytes += parsed->bytes;
        at = parsed->end;
        afterWord = true;
    }
    flush();
    return decoded;
}

namespace {

// Bytes that safeToShow passes on as they are, in runs.
bool passesAsIs(unsigned char c) {
    return (c >= 0x20 && c < 0x7F) || c == '\t' || (c >= 0x80 && c != 0xC2 && c != 0xE2);
}

} // namespace

std::string safeToShow(std::string_view text, LineBreaks breaks) {
    std::string shown;
    shown.reserve(text.size());
    const bool oneLine = breaks == LineBreaks::AsSpace;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t run = i;
        while (run < text.size() && passesAsIs(static_cast<unsigned char>(text[run])))
            ++run;
        shown.append(text, i, run - i);
        if (run == text.size())
            break;
        i = run;
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r' || c == '\n') {
            if (!oneLine) {
                shown += static_cast<char>(c);
            } else {
                if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                    ++i;
                shown += ' ';
            }
        } else if (c < 0x20) {
            appendCodePoint(shown, 0x2400 + c);
        } else if (c == 0x7F) {
            appendCodePoint(shown, 0x2421);
        } else if (c == 0xC2 && i + 1 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            appendCodePoint(shown, 0xFFFD); // C1 control
            ++i;
        } else if (c == 0xE2 && i + 2 < text.size() &&
                   (text[i + 1] == '\x80' || text[i + 1] == '\x81')) {
            const auto last = static_cast<unsigned char>(text[i + 2]);
            const bool lineOrParagraph = text[i + 1] == '\x80' && (last == 0xA8 || last == 0xA9);
            const bool bidi = (text[i + 1] == '\x80' && last >= 0xAA && last <= 0xAE) ||
                              (text[i + 1] == '\x81' && last >= 0xA6 && last <= 0xA9);
            if (lineOrParagraph)
                shown += oneLine ? ' ' : '\n';
            else if (bidi)
                appendCodePoint(shown, 0xFFFD);
            else
                shown.append(text.substr(i, 3));
            i += 2;
        } else {
            shown += static_cast<char>(c);
        }
        ++i;
    }
    return shown;
}

std::string replyText(std::string_view reply) {
    std::string text;
    text.reserve(reply.size());
    std::size_t start = 0;
    while (start < reply.size()) {
        std::size_t end = reply.find('\n', start);
        std::string_view line = reply.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end + 1 - start);
        start = end == std::string_view::npos ? reply.size() : end + 1;
        std::string_view content = line;
        while (!content.empty() && (content.back() == '\n' || content.back() == '\r'))
            content.remove_suffix(1);
        if (content == ".")
            break; // the reply ends here
        if (!content.empty() && content[0] == '.')
            line.remove_prefix(1);
        text += line;
    }
    return text;
}

std::string decodeHeaderBlock(std::string_view block) {
    const std::string lines = replyText(block);
    std::string decoded;
    std::string field;
    auto flush = [&decoded, &field] {
        if (field.empty())
            return;
        const std::size_t colon = field.find(':');
        // A value that decodes to several lines must not show a line of its own: it could
        // pass for another field.
        if (colon == std::string::npos) {
            decoded += safeToShow(utf8FromBytes(field), LineBreaks::AsSpace);
        } else {
            std::string_view value(field);
            value.remove_prefix(colon + 1);
            while (!value.empty() && isAsciiBlank(value.front()))
                value.remove_prefix(1);
            decoded += safeToShow(utf8FromBytes(std::string_view(field).substr(0, colon)),
                                  LineBreaks::AsSpace);
            decoded += ": ";
            decoded += safeToShow(decodeHeaderText(value), LineBreaks::AsSpace);
        }
        decoded += '\n';
        field.clear();
    };
    std::size_t start = 0;
    while (start < lines.size()) {
        std::size_t end = lines.find('\n', start);
        if (end == std::string::npos)
            end = lines.size();
        std::string_view line(lines.data() + start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty())
            break;
        if (isAsciiBlank(line.front()) && !field.empty()) {
            field += line; // unfolding takes away the line break only
            continue;
        }
        flush();
        field.assign(line);
    }
    flush();
    return decoded;
}

namespace {

// Gumbo's tree is freed by a recursive walk that a deeply nested text could run off the stack
// with: its memory comes from here instead and goes back all at once.
struct GumboArena {
    std::vector<void*> blocks;
    ~GumboArena() {
        for (void* block : blocks)
            std::free(block);
    }
    static void* allocate(void* arena, std::size_t size) {
        void* block = std::malloc(size == 0 ? 1 : size);
        if (block == nullptr)
            std::abort(); // as Gumbo's own allocator does
        static_cast<GumboArena*>(arena)->blocks.push_back(block);
        return block;
    }
    static void release(void*, void*) {}
};

bool tagIsOneOf(GumboTag tag, std::initializer_list<GumboTag> tags) {
    return std::find(tags.begin(), tags.end(), tag) != tags.end();
}

// Breaks a block asks for before and after it: 2 leaves an empty line.
int blockBreaks(GumboTag tag) {
    if (tagIsOneOf(tag, {GUMBO_TAG_P, GUMBO_TAG_H1, GUMBO_TAG_H2, GUMBO_TAG_H3, GUMBO_TAG_H4,
                         GUMBO_TAG_H5, GUMBO_TAG_H6, GUMBO_TAG_TABLE, GUMBO_TAG_UL, GUMBO_TAG_OL,
                         GUMBO_TAG_BLOCKQUOTE, GUMBO_TAG_PRE, GUMBO_TAG_DL, GUMBO_TAG_FIGURE}))
        return 2;
    if (tagIsOneOf(tag,
                   {GUMBO_TAG_DIV,        GUMBO_TAG_TR,       GUMBO_TAG_LI,     GUMBO_TAG_HR,
                    GUMBO_TAG_SECTION,    GUMBO_TAG_ARTICLE,  GUMBO_TAG_HEADER, GUMBO_TAG_FOOTER,
                    GUMBO_TAG_NAV,        GUMBO_TAG_ASIDE,    GUMBO_TAG_MAIN,   GUMBO_TAG_ADDRESS,
                    GUMBO_TAG_FORM,       GUMBO_TAG_FIELDSET, GUMBO_TAG_DT,     GUMBO_TAG_DD,
                    GUMBO_TAG_FIGCAPTION, GUMBO_TAG_CAPTION,  GUMBO_TAG_CENTER, GUMBO_TAG_DETAILS,
                    GUMBO_TAG_SUMMARY,    GUMBO_TAG_LEGEND}))
        return 1;
    return 0;
}

// Text of elements that is never shown to a reader of the page.
bool hidden(GumboTag tag) {
    return tagIsOneOf(tag, {GUMBO_TAG_HEAD, GUMBO_TAG_SCRIPT, GUMBO_TAG_STYLE, GUMBO_TAG_TITLE,
                            GUMBO_TAG_TEMPLATE, GUMBO_TAG_IFRAME, GUMBO_TAG_OBJECT,
                            GUMBO_TAG_SELECT, GUMBO_TAG_TEXTAREA});
}

const char* attribute(const GumboElement& element, const char* name) {
    const GumboAttribute* found = gumbo_get_attribute(&element.attributes, name);
    return found != nullptr ? found->value : nullptr;
}

// A link target worth showing: one a person could follow, never a script.
bool showableUrl(std::string_view url) {
    for (std::string_view scheme : {"http://", "https://", "mailto:", "ftp://"})
        if (url.size() > scheme.size() && equalsNoCase(url.substr(0, scheme.size()), scheme))
            return true;
    return false;
}

class TextWriter {
public:
    void text(std::string_view text, bool preformatted) {
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char c = text[i];
            if (!preformatted && isAsciiSpace(c)) {
                space_ = true;
                continue;
            }
            if (preformatted && (c == '\n' || c == '\r')) {
                if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                    ++i;
                out_ += '\n';
                breaks_ = 0;
                space_ = false;
                continue;
            }
            // A no-break space reads as a space, a soft hyphen as nothing.
            if (c == '\xC2' && i + 1 < text.size() &&
                (text[i + 1] == '\xA0' || text[i + 1] == '\xAD')) {
                if (text[i + 1] == '\xA0')
                    put(" ");
                ++i;
                continue;
            }
            put(std::string_view(&text[i], 1));
        }
    }
    // A word that is not in the page's text (a link's target, an image's description).
    void word(std::string_view word, bool spaceAfter) {
        space_ = space_ || !out_.empty();
        put(word);
        space_ = spaceAfter;
    }
    void block(int breaks) { breaks_ = std::max(breaks_, breaks); }
    void lineBreak() { ++breaks_; }
    void cellGap() { space_ = true; }
    std::size_t size() const { return out_.size(); }
    std::string_view since(std::size_t from) const {
        return std::string_view(out_).substr(std::min(from, out_.size()));
    }
    std::string& result() { return out_; }

private:
    void put(std::string_view piece) {
        if (!out_.empty()) {
            if (breaks_ > 0)
                out_.append(static_cast<std::size_t>(std::min(breaks_, 2)), '\n');
            else if (space_ && out_.back() != '\n')
                out_ += ' ';
        }
        breaks_ = 0;
        space_ = false;
        out_ += piece;
    }

    std::string out_;
    int breaks_ = 0;
    bool space_ = false;
};

} // namespace

std::string plainTextFromHtml(std::string_view html) {
    GumboArena arena;
    GumboOptions options = kGumboDefaultOptions;
    options.allocator = &GumboArena::allocate;
    options.deallocator = &GumboArena::release;
    options.userdata = &arena;
    options.max_errors = 0;
    const std::string text = utf8WithReplacement(html); // Gumbo takes well-formed UTF-8 only
    GumboOutput* output = gumbo_parse_with_options(&options, text.data(), text.size());
    if (output == nullptr || output->root == nullptr)
        return {};

    TextWriter writer;
    struct Step {
        const GumboNode* node;
        unsigned int next = 0;     // the child to visit next
        std::size_t textStart = 0; // where the element's text began in the output
    };
    std::vector<Step> stack{{output->root, 0, 0}};
    int preformatted = 0;
    while (!stack.empty()) {
        Step& step = stack.back();
        const GumboNode* node = step.node;
        if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE &&
            node->type != GUMBO_NODE_DOCUMENT) {
            if (node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_WHITESPACE ||
                node->type == GUMBO_NODE_CDATA)
                writer.text(node->v.text.text, preformatted > 0);
            stack.pop_back();
            continue;
        }
        const GumboVector& children = node->type == GUMBO_NODE_DOCUMENT ? node->v.document.children
                                                                        : node->v.element.children;
        const GumboTag tag =
            node->type == GUMBO_NODE_DOCUMENT ? GUMBO_TAG_UNKNOWN : node->v.element.tag;
        if (step.next == 0) {
            // Entering the element.
            if (node->type != GUMBO_NODE_DOCUMENT) {
                if (hidden(tag)) {
                    stack.pop_back();
                    continue;
                }
                writer.block(blockBreaks(tag));
                if (tag == GUMBO_TAG_BR)
                    writer.lineBreak();
                else if (tag == GUMBO_TAG_TD || tag == GUMBO_TAG_TH)
                    writer.cellGap();
                else if (tag == GUMBO_TAG_LI)
                    writer.word("-", true);
                else if (tag == GUMBO_TAG_IMG)
                    if (const char* alt = attribute(node->v.element, "alt");
                        alt != nullptr && *alt != '\0')
                        writer.word(alt, true);
                if (tag == GUMBO_TAG_PRE || tag == GUMBO_TAG_LISTING || tag == GUMBO_TAG_PLAINTEXT)
                    ++preformatted;
            }
            step.textStart = writer.size();
        }
        if (step.next < children.length) {
            const auto* child = static_cast<const GumboNode*>(children.data[step.next++]);
            stack.push_back({child, 0, 0});
            continue;
        }
        // Leaving the element.
        if (node->type != GUMBO_NODE_DOCUMENT) {
            if (tag == GUMBO_TAG_A) {
                const char* href = attribute(node->v.element, "href");
                if (href != nullptr && showableUrl(href)) {
                    std::string_view url(href);
                    std::string_view shown = writer.since(step.textStart);
                    while (!shown.empty() && isAsciiSpace(shown.front()))
                        shown.remove_prefix(1);
                    const std::string_view bare = url.starts_with("mailto:") ? url.substr(7) : url;
                    if (shown != url && shown != bare)
                        writer.word("<" + std::string(url) + ">", false);
                }
            }
            if (tag == GUMBO_TAG_PRE || tag == GUMBO_TAG_LISTING || tag == GUMBO_TAG_PLAINTEXT)
                --preformatted;
            if (tag == GUMBO_TAG_TD || tag == GUMBO_TAG_TH)
                writer.cellGap();
            writer.block(blockBreaks(tag));
        }
        stack.pop_back();
    }
    return tidyLines(writer.result());
}

namespace {

// Line ends as GMime reads them best: CR LF, CR CR LF (a CR LF converted twice) and a lone CR
// all become LF.
std::string withLineFeeds(std::string_view text) {
    std::string lines;
    lines.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t cr = text.find('\r', i);
        if (cr == std::string_view::npos) {
            lines.append(text, i);
            break;
        }
        lines.append(text, i, cr - i);
        i = cr;
        while (i + 2 < text.size() && text[i + 1] == '\r' && text[i + 2] == '\n')
            ++i;
        if (i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        lines += '\n';
        ++i;
    }
    return lines;
}

// A line that can belong to a header: a field ("Name:" with a name of printable ASCII) or the
// continuation of one.
bool isHeaderLine(std::string_view line, bool first) {
    if (!line.empty() && isAsciiBlank(line.front()))
        return !first;
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0)
        return false;
    return std::all_of(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(colon), [](char c) {
        return static_cast<unsigned char>(c) > ' ' && static_cast<unsigned char>(c) < 0x7F;
    });
}

// The header with LF line ends, ended by its blank line, and what followed it in the same text
// when a sender left that blank line out: the header ends at its first line that is no field.
std::pair<std::string, std::string> splitHeader(std::string_view headerText) {
    const std::string lines = withLineFeeds(headerText);
    std::size_t start = 0;
    while (start < lines.size()) {
        std::size_t end = lines.find('\n', start);
        if (end == std::string::npos)
            end = lines.size();
        const std::string_view line(lines.data() + start, end - start);
        if (line.empty())
            return {lines.substr(0, end + 1 <= lines.size() ? end + 1 : end),
                    end + 1 < lines.size() ? lines.substr(end + 1) : std::string()};
        if (!isHeaderLine(line, start == 0))
            return {lines.substr(0, start) + "\n", lines.substr(start)};
        start = end + 1;
    }
    std::string header = lines;
    if (!header.empty() && header.back() != '\n')
        header += '\n';
    return {header + "\n", std::string()};
}

// The fields a reader looks at first, one line each.
std::string summaryOf(const std::string& header) {
    const std::string fields = decodeHeaderBlock(header);
    std::string summary;
    for (const char* wanted : {"From", "To", "Cc", "Date", "Subject"}) {
        std::size_t start = 0;
        while (start < fields.size()) {
            std::size_t end = fields.find('\n', start);
            if (end == std::string::npos)
                end = fields.size();
            std::string_view line(fields.data() + start, end - start);
            start = end + 1;
            const std::size_t length = std::strlen(wanted);
            if (line.size() > length + 1 && line[length] == ':' &&
                g_ascii_strncasecmp(line.data(), wanted, length) == 0) {
                summary += wanted;
                summary += line.substr(length);
                summary += '\n';
                break;
            }
        }
    }
    return summary;
}

} // namespace

ReadableMessage readableMessage(std::string_view headerText, std::string_view body,
                                const BodyFetch& fetch) {
    ReadableMessage message;
    const std::string headerLines = replyText(headerText);
    const std::string bodyLines = replyText(body);
    message.raw = safeToShow(utf8FromBytes(headerLines + bodyLines, true), LineBreaks::Kept);

    // What the reply buffer let through past its cut is the end of the reply, not what came
    // next: reading on from the last whole line before the cut would join two distant pieces.
    std::string_view fetched(body);
    const bool cut = fetch.cutAt < body.size();
    if (cut) {
        fetched = fetched.substr(0, fetch.cutAt);
        fetched = fetched.substr(0, fetched.rfind('\n') + 1);
    }
    auto [header, bodyStart] = splitHeader(headerLines);
    const std::string whole = header + bodyStart + withLineFeeds(replyText(fetched));

    initialiseGMime();
    PartsSeen seen;
    ObjectRef<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(whole.data(), whole.size()));
    ObjectRef<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    ObjectRef<GMimeMessage> parsed(g_mime_parser_construct_message(parser.get(), nullptr));
    if (parsed.get() != nullptr)
        collectParts(g_mime_message_get_mime_part(parsed.get()), seen, 0);
    message.attachments = std::move(seen.attachments);

    message.text = summaryOf(header);
    if (!message.attachments.empty()) {
        message.text += "Attachments: ";
        for (std::size_t i = 0; i < message.attachments.size(); ++i) {
            if (i > 0)
                message.text += ", ";
            message.text += message.attachments[i];
        }
        message.text += '\n';
    }
    if (!message.text.empty())
        message.text += '\n';

    std::string content;
    if (fetch.linesAsked == 0 && bodyStart.empty() && replyText(body).empty())
        content = "(No lines of the message body are fetched: \"Lines of message to display\" "
                  "is 0 under Options, Preferences, General. Set it to the number of lines to "
                  "read.)\n";
    else if (seen.plain != nullptr)
        content = partText(seen.plain);
    else if (seen.html != nullptr)
        content = plainTextFromHtml(partText(seen.html));
    else
        content = "(There is no text part within the fetched lines.)\n";
    // The viewer wants plain line feeds; a stray CR still breaks a line.
    std::string lines = withLineFeeds(content);
    // The line end before a boundary belongs to the boundary: the last line still ends, and
    // empty lines at the end are nothing to read.
    while (!lines.empty() && lines.back() == '\n')
        lines.pop_back();
    if (!lines.empty())
        lines += '\n';
    if (cut)
        lines += "\n(The rest of the message was not fetched: it is longer than the reply "
                 "buffer holds. Show raw lines to see the end of the reply.)\n";
    message.text += safeToShow(lines, LineBreaks::Kept);
    return message;
}

} // namespace toppeek::messages

#include "messages/MailText.h"

#include "core/Ascii.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace toppeek::messages {

using core::isAsciiBlank;

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

struct GFreeText {
    char* text;
    ~GFreeText() { g_free(text); }
};

bool needsDecoding(std::string_view value) {
    return value.find("=?") != std::string_view::npos;
}

// Charsets the 8-bit rule reads better than a converter would: UTF-8 that is not well formed is
// then still shown byte for byte rather than with holes.
bool readByEightBitRule(const char* charset) {
    if (charset == nullptr || *charset == '\0')
        return true;
    const char* canonical = g_mime_charset_canon_name(charset);
    return canonical == nullptr || g_ascii_strcasecmp(canonical, "utf-8") == 0 ||
           g_ascii_strcasecmp(canonical, "us-ascii") == 0;
}

// The decoded content of a leaf part, converted from its declared charset.
std::string partText(GMimePart* part) {
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    if (content == nullptr)
        return {};
    const char* charset = g_mime_object_get_content_type_parameter(GMIME_OBJECT(part), "charset");
    ObjectRef<GMimeStream> memory(g_mime_stream_mem_new());
    GMimeFilter* converter =
        readByEightBitRule(charset) ? nullptr : g_mime_filter_charset_new(charset, "UTF-8");
    if (converter != nullptr) {
        ObjectRef<GMimeStream> filtered(g_mime_stream_filter_new(memory.get()));
        g_mime_stream_filter_add(GMIME_STREAM_FILTER(filtered.get()), converter);
        g_object_unref(converter);
        g_mime_data_wrapper_write_to_stream(content, filtered.get());
        g_mime_stream_flush(filtered.get());
    } else {
        g_mime_data_wrapper_write_to_stream(content, memory.get());
    }
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(memory.get()));
    std::string_view decoded(reinterpret_cast<const char*>(bytes->data), bytes->len);
    // A cut message can end inside a character of the last part.
    return utf8FromBytes(decoded, true);
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
                                       ? utf8FromBytes(subject) + ".eml"
                                       : std::string("message.eml"));
        return;
    }
    if (!GMIME_IS_PART(object))
        return;
    GMimePart* part = GMIME_PART(object);
    GMimeContentType* type = g_mime_object_get_content_type(object);
    const bool attached = g_mime_part_is_attachment(part);
    if (!attached && seen.plain == nullptr && g_mime_content_type_is_type(type, "text", "plain")) {
        seen.plain = part;
        return;
    }
    if (!attached && seen.html == nullptr && g_mime_content_type_is_type(type, "text", "html")) {
        seen.html = part;
        return;
    }
    if (const char* name = g_mime_part_get_filename(part); name != nullptr && *name != '\0')
        seen.attachments.push_back(utf8FromBytes(name));
    else if (attached)
        seen.attachments.emplace_back("(no name)");
}

// --- HTML ---

std::string_view tagName(std::string_view tag) {
    std::size_t start = tag.empty() || tag[0] != '/' ? 0 : 1;
    std::size_t end = start;
    while (end < tag.size() && (std::isalnum(static_cast<unsigned char>(tag[end])) != 0))
        ++end;
    return tag.substr(start, end - start);
}

bool nameIs(std::string_view name, std::string_view wanted) {
    return name.size() == wanted.size() &&
           g_ascii_strncasecmp(name.data(), wanted.data(), name.size()) == 0;
}

// Where "</name" starts at or after from (any letter case), or the end of html.
std::size_t findEndTag(std::string_view html, std::string_view name, std::size_t from) {
    for (std::size_t at = html.find("</", from); at != std::string_view::npos;
         at = html.find("</", at + 2)) {
        if (nameIs(html.substr(at + 2, name.size()), name))
            return at;
    }
    return html.size();
}

bool breaksLine(std::string_view name) {
    for (std::string_view block : {"br", "p", "div", "tr", "li", "h1", "h2", "h3", "h4", "h5", "h6",
                                   "table", "ul", "ol", "blockquote", "pre", "hr", "title"})
        if (nameIs(name, block))
            return true;
    return false;
}

// Decodes the character reference at html[at] (which is '&'); advances at past it. Unknown
// references stay as they are.
void appendReference(std::string& text, std::string_view html, std::size_t& at) {
    const std::size_t end = html.find(';', at);
    if (end == std::string_view::npos || end - at > 10) {
        text += html[at++];
        return;
    }
    const std::string_view name = html.substr(at + 1, end - at - 1);
    static constexpr std::pair<std::string_view, unsigned long> named[] = {
        {"amp", '&'},      {"lt", '<'},       {"gt", '>'},     {"quot", '"'},    {"apos", '\''},
        {"nbsp", 0xA0},    {"copy", 0xA9},    {"reg", 0xAE},   {"euro", 0x20AC}, {"hellip", 0x2026},
        {"ndash", 0x2013}, {"mdash", 0x2014}, {"laquo", 0xAB}, {"raquo", 0xBB},  {"shy", 0xAD}};
    if (!name.empty() && name[0] == '#') {
        const bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
        const std::string digits(name.substr(hex ? 2 : 1));
        char* stop = nullptr;
        const unsigned long code = std::strtoul(digits.c_str(), &stop, hex ? 16 : 10);
        if (!digits.empty() && stop != nullptr && *stop == '\0') {
            appendCodePoint(text, code);
            at = end + 1;
            return;
        }
    }
    for (const auto& [entity, code] : named) {
        if (name == entity) {
            if (code != 0xAD)
                appendCodePoint(text, code == 0xA0 ? ' ' : code);
            at = end + 1;
            return;
        }
    }
    text += html[at++];
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
    // Encoded words are ASCII: the 8-bit rule first leaves GMime nothing to guess.
    std::string text = utf8FromBytes(value);
    if (!needsDecoding(text))
        return text;
    // GMime reads up to a zero byte; what follows one is not shown anyway.
    text.resize(std::strlen(text.c_str()));
    initialiseGMime();
    GFreeText decoded{g_mime_utils_header_decode_text(nullptr, text.c_str())};
    // A word of the right shape whose payload decodes to nothing is shown as it came.
    if (decoded.text == nullptr || (*decoded.text == '\0' && !text.empty()))
        return text;
    return utf8FromBytes(decoded.text);
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
        if (colon == std::string::npos) {
            decoded += utf8FromBytes(field);
        } else {
            std::string_view value(field);
            value.remove_prefix(colon + 1);
            while (!value.empty() && isAsciiBlank(value.front()))
                value.remove_prefix(1);
            decoded += utf8FromBytes(std::string_view(field).substr(0, colon));
            decoded += ": ";
            decoded += decodeHeaderText(value);
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

std::string plainTextFromHtml(std::string_view html) {
    std::string text;
    text.reserve(html.size());
    bool lastWasSpace = true;
    std::size_t at = 0;
    while (at < html.size()) {
        const char c = html[at];
        if (c == '<') {
            if (html.substr(at, 4) == "<!--") {
                const std::size_t end = html.find("-->", at + 4);
                at = end == std::string_view::npos ? html.size() : end + 3;
                continue;
            }
            const std::size_t close = html.find('>', at);
            if (close == std::string_view::npos)
                break; // a tag cut by the line limit
            const std::string_view tag = html.substr(at + 1, close - at - 1);
            const std::string_view name = tagName(tag);
            at = close + 1;
            if (tag.empty() || tag[0] != '/') {
                for (std::string_view hidden : {"script", "style", "head"}) {
                    if (!nameIs(name, hidden))
                        continue;
                    // Skip to the matching end tag, whatever case it is written in.
                    at = findEndTag(html, hidden, at);
                    break;
                }
            }
            if (breaksLine(name)) {
                text += '\n';
                lastWasSpace = true;
            } else if (nameIs(name, "td") || nameIs(name, "th")) {
                if (!lastWasSpace)
                    text += ' ';
                lastWasSpace = true;
            }
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (!lastWasSpace)
                text += ' ';
            lastWasSpace = true;
            ++at;
            continue;
        }
        lastWasSpace = false;
        if (c == '&')
            appendReference(text, html, at);
        else
            text += html[at++];
    }
    return tidyLines(text);
}

ReadableMessage readableMessage(std::string_view headerText, std::string_view body) {
    ReadableMessage message;
    std::string header = replyText(headerText);
    if (!header.empty() && header.find("\n\n") == std::string::npos &&
        header.find("\r\n\r\n") == std::string::npos) {
        if (header.back() != '\n')
            header += "\r\n";
        header += "\r\n";
    }
    const std::string whole = header + replyText(body);
    message.raw = utf8FromBytes(whole, true);

    initialiseGMime();
    PartsSeen seen;
    ObjectRef<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(whole.data(), whole.size()));
    ObjectRef<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    ObjectRef<GMimeMessage> parsed(g_mime_parser_construct_message(parser.get(), nullptr));
    if (parsed.get() != nullptr)
        collectParts(g_mime_message_get_mime_part(parsed.get()), seen, 0);
    message.attachments = std::move(seen.attachments);

    // The fields a reader looks at first, decoded from the header as it came.
    const std::string fields = decodeHeaderBlock(header);
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
                message.text += wanted;
                message.text += line.substr(length);
                message.text += '\n';
                break;
            }
        }
    }
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
    if (seen.plain != nullptr)
        content = partText(seen.plain);
    else if (seen.html != nullptr)
        content = plainTextFromHtml(partText(seen.html));
    else
        content = "(There is no text part within the fetched lines.)\n";
    // The viewer wants plain line feeds; a stray CR still breaks a line.
    std::string lines;
    lines.reserve(content.size());
    for (std::size_t i = 0; i < content.size(); ++i) {
        if (content[i] == '\r') {
            lines += '\n';
            if (i + 1 < content.size() && content[i + 1] == '\n')
                ++i;
        } else {
            lines += content[i];
        }
    }
    // The line end before a boundary belongs to the boundary: the last line still ends.
    if (!lines.empty() && lines.back() != '\n')
        lines += '\n';
    message.text += lines;
    return message;
}

} // namespace toppeek::messages

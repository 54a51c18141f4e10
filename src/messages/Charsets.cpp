#include "messages/Charsets.h"

#include "core/Ascii.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>

namespace toppeek::messages {

namespace {

struct Label {
    std::string_view label;
    std::string_view encoding; // as iconv names it
};

// The Encoding Standard's labels, then the registered names mail uses beyond them. Sorted by
// label for the look-up. The encodings the standard turns into a single replacement character
// (ISO-2022-KR, ISO-2022-CN) guard browsers against script injection; a mail reader shows their
// text instead, as iconv knows them.
constexpr std::array kLabels = std::to_array<Label>({
    {"866", "IBM866"},
    {"ansi_x3.4-1968", "CP1252"},
    {"arabic", "ISO-8859-6"},
    {"ascii", "CP1252"},
    {"asmo-708", "ISO-8859-6"},
    {"big5", "BIG5-HKSCS"},
    {"big5-hkscs", "BIG5-HKSCS"},
    {"chinese", "GBK"},
    {"cn-big5", "BIG5-HKSCS"},
    {"cp1250", "CP1250"},
    {"cp1251", "CP1251"},
    {"cp1252", "CP1252"},
    {"cp1253", "CP1253"},
    {"cp1254", "CP1254"},
    {"cp1255", "CP1255"},
    {"cp1256", "CP1256"},
    {"cp1257", "CP1257"},
    {"cp1258", "CP1258"},
    {"cp819", "CP1252"},
    {"cp866", "IBM866"},
    {"csbig5", "BIG5-HKSCS"},
    {"cseuckr", "CP949"},
    {"cseucpkdfmtjapanese", "EUC-JP"},
    {"csgb2312", "GBK"},
    {"csibm866", "IBM866"},
    {"csiso2022jp", "ISO-2022-JP-2"},
    {"csiso2022kr", "ISO-2022-KR"},
    {"csiso58gb231280", "GBK"},
    {"csiso88596e", "ISO-8859-6"},
    {"csiso88596i", "ISO-8859-6"},
    {"csiso88598e", "ISO-8859-8"},
    {"csiso88598i", "ISO-8859-8"},
    {"csisolatin1", "CP1252"},
    {"csisolatin2", "ISO-8859-2"},
    {"csisolatin3", "ISO-8859-3"},
    {"csisolatin4", "ISO-8859-4"},
    {"csisolatin5", "CP1254"},
    {"csisolatin6", "ISO-8859-10"},
    {"csisolatin9", "ISO-8859-15"},
    {"csisolatinarabic", "ISO-8859-6"},
    {"csisolatincyrillic", "ISO-8859-5"},
    {"csisolatingreek", "ISO-8859-7"},
    {"csisolatinhebrew", "ISO-8859-8"},
    {"cskoi8r", "KOI8-R"},
    {"csksc56011987", "CP949"},
    {"csmacintosh", "MACINTOSH"},
    {"csshiftjis", "CP932"},
    {"csunicode", "UTF-16LE"},
    {"csunicode11utf7", "UTF-7"},
    {"cyrillic", "ISO-8859-5"},
    {"dos-874", "CP874"},
    {"ecma-114", "ISO-8859-6"},
    {"ecma-118", "ISO-8859-7"},
    {"elot_928", "ISO-8859-7"},
    {"euc-jp", "EUC-JP"},
    {"euc-kr", "CP949"},
    {"gb18030", "GB18030"},
    {"gb2312", "GBK"},
    {"gb_2312", "GBK"},
    {"gb_2312-80", "GBK"},
    {"gbk", "GBK"},
    {"greek", "ISO-8859-7"},
    {"greek8", "ISO-8859-7"},
    {"hebrew", "ISO-8859-8"},
    {"ibm819", "CP1252"},
    {"ibm866", "IBM866"},
    {"iso-10646-ucs-2", "UTF-16LE"},
    {"iso-2022-cn", "ISO-2022-CN"},
    {"iso-2022-cn-ext", "ISO-2022-CN-EXT"},
    {"iso-2022-jp", "ISO-2022-JP-2"},
    {"iso-2022-kr", "ISO-2022-KR"},
    {"iso-8859-1", "CP1252"},
    {"iso-8859-10", "ISO-8859-10"},
    {"iso-8859-11", "CP874"},
    {"iso-8859-13", "ISO-8859-13"},
    {"iso-8859-14", "ISO-8859-14"},
    {"iso-8859-15", "ISO-8859-15"},
    {"iso-8859-16", "ISO-8859-16"},
    {"iso-8859-2", "ISO-8859-2"},
    {"iso-8859-3", "ISO-8859-3"},
    {"iso-8859-4", "ISO-8859-4"},
    {"iso-8859-5", "ISO-8859-5"},
    {"iso-8859-6", "ISO-8859-6"},
    {"iso-8859-6-e", "ISO-8859-6"},
    {"iso-8859-6-i", "ISO-8859-6"},
    {"iso-8859-7", "ISO-8859-7"},
    {"iso-8859-8", "ISO-8859-8"},
    {"iso-8859-8-e", "ISO-8859-8"},
    {"iso-8859-8-i", "ISO-8859-8"},
    {"iso-8859-9", "CP1254"},
    {"iso-ir-100", "CP1252"},
    {"iso-ir-101", "ISO-8859-2"},
    {"iso-ir-109", "ISO-8859-3"},
    {"iso-ir-110", "ISO-8859-4"},
    {"iso-ir-126", "ISO-8859-7"},
    {"iso-ir-127", "ISO-8859-6"},
    {"iso-ir-138", "ISO-8859-8"},
    {"iso-ir-144", "ISO-8859-5"},
    {"iso-ir-148", "CP1254"},
    {"iso-ir-149", "CP949"},
    {"iso-ir-157", "ISO-8859-10"},
    {"iso-ir-58", "GBK"},
    {"iso8859-1", "CP1252"},
    {"iso8859-10", "ISO-8859-10"},
    {"iso8859-11", "CP874"},
    {"iso8859-13", "ISO-8859-13"},
    {"iso8859-14", "ISO-8859-14"},
    {"iso8859-15", "ISO-8859-15"},
    {"iso8859-2", "ISO-8859-2"},
    {"iso8859-3", "ISO-8859-3"},
    {"iso8859-4", "ISO-8859-4"},
    {"iso8859-5", "ISO-8859-5"},
    {"iso8859-6", "ISO-8859-6"},
    {"iso8859-7", "ISO-8859-7"},
    {"iso8859-8", "ISO-8859-8"},
    {"iso8859-9", "CP1254"},
    {"iso88591", "CP1252"},
    {"iso885910", "ISO-8859-10"},
    {"iso885911", "CP874"},
    {"iso885913", "ISO-8859-13"},
    {"iso885914", "ISO-8859-14"},
    {"iso885915", "ISO-8859-15"},
    {"iso88592", "ISO-8859-2"},
    {"iso88593", "ISO-8859-3"},
    {"iso88594", "ISO-8859-4"},
    {"iso88595", "ISO-8859-5"},
    {"iso88596", "ISO-8859-6"},
    {"iso88597", "ISO-8859-7"},
    {"iso88598", "ISO-8859-8"},
    {"iso88599", "CP1254"},
    {"iso_8859-1", "CP1252"},
    {"iso_8859-15", "ISO-8859-15"},
    {"iso_8859-1:1987", "CP1252"},
    {"iso_8859-2", "ISO-8859-2"},
    {"iso_8859-2:1987", "ISO-8859-2"},
    {"iso_8859-3", "ISO-8859-3"},
    {"iso_8859-3:1988", "ISO-8859-3"},
    {"iso_8859-4", "ISO-8859-4"},
    {"iso_8859-4:1988", "ISO-8859-4"},
    {"iso_8859-5", "ISO-8859-5"},
    {"iso_8859-5:1988", "ISO-8859-5"},
    {"iso_8859-6", "ISO-8859-6"},
    {"iso_8859-6:1987", "ISO-8859-6"},
    {"iso_8859-7", "ISO-8859-7"},
    {"iso_8859-7:1987", "ISO-8859-7"},
    {"iso_8859-8", "ISO-8859-8"},
    {"iso_8859-8:1988", "ISO-8859-8"},
    {"iso_8859-9", "CP1254"},
    {"iso_8859-9:1989", "CP1254"},
    {"koi", "KOI8-R"},
    {"koi8", "KOI8-R"},
    {"koi8-r", "KOI8-R"},
    {"koi8-ru", "KOI8-U"},
    {"koi8-u", "KOI8-U"},
    {"koi8_r", "KOI8-R"},
    {"korean", "CP949"},
    {"ks_c_5601-1987", "CP949"},
    {"ks_c_5601-1989", "CP949"},
    {"ksc5601", "CP949"},
    {"ksc_5601", "CP949"},
    {"l1", "CP1252"},
    {"l2", "ISO-8859-2"},
    {"l3", "ISO-8859-3"},
    {"l4", "ISO-8859-4"},
    {"l5", "CP1254"},
    {"l6", "ISO-8859-10"},
    {"l9", "ISO-8859-15"},
    {"latin1", "CP1252"},
    {"latin2", "ISO-8859-2"},
    {"latin3", "ISO-8859-3"},
    {"latin4", "ISO-8859-4"},
    {"latin5", "CP1254"},
    {"latin6", "ISO-8859-10"},
    {"logical", "ISO-8859-8"},
    {"mac", "MACINTOSH"},
    {"mac-centraleurope", "MAC-CENTRALEUROPE"},
    {"mac-cyrillic", "MAC-CYRILLIC"},
    {"mac-iceland", "MAC-IS"},
    {"mac-sami", "MAC-SAMI"},
    {"mac-ukrainian", "MAC-CYRILLIC"},
    {"macintosh", "MACINTOSH"},
    {"ms932", "CP932"},
    {"ms_kanji", "CP932"},
    {"shift-jis", "CP932"},
    {"shift_jis", "CP932"},
    {"sjis", "CP932"},
    {"sun_eu_greek", "ISO-8859-7"},
    {"tis-620", "CP874"},
    {"ucs-2", "UTF-16LE"},
    {"unicode", "UTF-16LE"},
    {"unicode-1-1-utf-7", "UTF-7"},
    {"unicode-1-1-utf-8", "UTF-8"},
    {"unicode-2-0-utf-7", "UTF-7"},
    {"unicode-2-0-utf-8", "UTF-8"},
    {"unicode11utf8", "UTF-8"},
    {"unicode20utf8", "UTF-8"},
    {"unicodefeff", "UTF-16LE"},
    {"unicodefffe", "UTF-16BE"},
    {"us-ascii", "CP1252"},
    {"utf-16", "UTF-16LE"},
    {"utf-16be", "UTF-16BE"},
    {"utf-16le", "UTF-16LE"},
    {"utf-7", "UTF-7"},
    {"utf-8", "UTF-8"},
    {"utf7", "UTF-7"},
    {"utf8", "UTF-8"},
    {"visual", "ISO-8859-8"},
    {"windows-1250", "CP1250"},
    {"windows-1251", "CP1251"},
    {"windows-1252", "CP1252"},
    {"windows-1253", "CP1253"},
    {"windows-1254", "CP1254"},
    {"windows-1255", "CP1255"},
    {"windows-1256", "CP1256"},
    {"windows-1257", "CP1257"},
    {"windows-1258", "CP1258"},
    {"windows-31j", "CP932"},
    {"windows-874", "CP874"},
    {"windows-949", "CP949"},
    {"x-cp1250", "CP1250"},
    {"x-cp1251", "CP1251"},
    {"x-cp1252", "CP1252"},
    {"x-cp1253", "CP1253"},
    {"x-cp1254", "CP1254"},
    {"x-cp1255", "CP1255"},
    {"x-cp1256", "CP1256"},
    {"x-cp1257", "CP1257"},
    {"x-cp1258", "CP1258"},
    {"x-euc-jp", "EUC-JP"},
    {"x-gbk", "GBK"},
    {"x-mac-ce", "MAC-CENTRALEUROPE"},
    {"x-mac-centraleurope", "MAC-CENTRALEUROPE"},
    {"x-mac-cyrillic", "MAC-CYRILLIC"},
    {"x-mac-iceland", "MAC-IS"},
    {"x-mac-roman", "MACINTOSH"},
    {"x-mac-ukrainian", "MAC-CYRILLIC"},
    {"x-sjis", "CP932"},
    {"x-unicode-1-1-utf-7", "UTF-7"},
    {"x-unicode-2-0-utf-7", "UTF-7"},
    {"x-unicode20utf8", "UTF-8"},
    {"x-x-big5", "BIG5-HKSCS"},
});

constexpr bool sortedByLabel() {
    for (std::size_t i = 1; i < kLabels.size(); ++i)
        if (!(kLabels[i - 1].label < kLabels[i].label))
            return false;
    return true;
}
static_assert(sortedByLabel(), "the look-up needs the labels in order");

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Owns an iconv descriptor.
struct Converter {
    iconv_t descriptor;
    explicit Converter(const char* from) : descriptor(iconv_open("UTF-8", from)) {}
    ~Converter() {
        if (ok())
            iconv_close(descriptor);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return descriptor != reinterpret_cast<iconv_t>(-1); }
};

std::optional<std::string> convert(std::string_view bytes, const std::string& encoding,
                                   bool mayBeCut) {
    Converter converter(encoding.c_str());
    if (!converter.ok())
        return std::nullopt;
    std::string text;
    std::array<char, 4096> chunk{};
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    bool flushing = false;
    for (;;) {
        char* out = chunk.data();
        std::size_t outLeft = chunk.size();
        const std::size_t result =
            flushing ? iconv(converter.descriptor, nullptr, nullptr, &out, &outLeft)
                     : iconv(converter.descriptor, &in, &inLeft, &out, &outLeft);
        const int error = result == static_cast<std::size_t>(-1) ? errno : 0;
        text.append(chunk.data(), static_cast<std::size_t>(out - chunk.data()));
        if (error == E2BIG)
            continue;
        if (error == EILSEQ && inLeft > 0) {
            // One byte at a time: the next may start a good sequence.
            text += kReplacement;
            ++in;
            --inLeft;
            continue;
        }
        if (error == EINVAL && inLeft > 0) {
            // A sequence left incomplete at the end.
            if (!mayBeCut)
                text += kReplacement;
            inLeft = 0;
        }
        if (flushing)
            break;
        flushing = true;
    }
    // iconv's own output is UTF-8; a converter that lets through something else is still not
    // trusted with it.
    return utf8WithReplacement(text);
}

} // namespace

std::optional<std::string> encodingForLabel(std::string_view label) {
    while (!label.empty() && core::isAsciiSpace(label.front()))
        label.remove_prefix(1);
    while (!label.empty() && core::isAsciiSpace(label.back()))
        label.remove_suffix(1);
    std::string lower(label);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    const auto found = std::lower_bound(
        kLabels.begin(), kLabels.end(), lower,
        [](const Label& entry, const std::string& wanted) { return entry.label < wanted; });
    if (found == kLabels.end() || found->label != lower)
        return std::nullopt;
    return std::string(found->encoding);
}

std::string utf8WithReplacement(std::string_view bytes, bool mayBeCut) {
    std::string text;
    text.reserve(bytes.size());
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    while (i < n) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            text += static_cast<char>(lead);
            ++i;
            continue;
        }
        int length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        }
        if (length == 0) {
            text += kReplacement;
            ++i;
            continue;
        }
        // The longest start of a sequence that could still be well formed is replaced as one.
        std::size_t taken = 1;
        while (taken < static_cast<std::size_t>(length) && i + taken < n) {
            const auto next = static_cast<unsigned char>(bytes[i + taken]);
            if (next < low || next > high)
                break;
            low = 0x80;
            high = 0xBF;
            ++taken;
        }
        if (taken == static_cast<std::size_t>(length))
            text.append(bytes.substr(i, taken));
        else if (!(mayBeCut && i + taken == n))
            text += kReplacement;
        i += taken;
    }
    return text;
}

std::optional<std::string> decodeCharset(std::string_view bytes, std::string_view label,
                                         bool mayBeCut) {
    std::optional<std::string> encoding = encodingForLabel(label);
    if (!encoding) {
        // Other registered names (IBM850, ISO-IR-197, ...) as iconv knows them; nothing that
        // could ask it for more than a conversion (its "//" options).
        const bool plainName = !label.empty() && label.size() <= 40 &&
                               std::all_of(label.begin(), label.end(), [](char c) {
                                   return core::isAsciiLetter(c) || core::isAsciiDigit(c) ||
                                          c == '-' || c == '_' || c == '.' || c == ':';
                               });
        if (!plainName)
            return std::nullopt;
        return convert(bytes, std::string(label), mayBeCut);
    }
    if (*encoding == "UTF-8") {
        if (bytes.starts_with("\xEF\xBB\xBF"))
            bytes.remove_prefix(3);
        return utf8WithReplacement(bytes, mayBeCut);
    }
    if (encoding->starts_with("UTF-16")) {
        // A byte order mark says which order, whatever the label.
        if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
            encoding = bytes[0] == '\xFF' ? "UTF-16LE" : "UTF-16BE";
            bytes.remove_prefix(2);
        }
    }
    return convert(bytes, *encoding, mayBeCut);
}

} // namespace toppeek::messages

#include "operations/DisplayText.h"

#include <QStringDecoder>

#include <cstdio>

namespace toppeek::operations {

std::string formatBounded(int size, const char* format, va_list args, bool* cut) {
    if (cut != nullptr)
        *cut = false;
    if (size <= 0 || format == nullptr)
        return {};
    std::string buffer(static_cast<std::size_t>(size), '\0');
    int length = std::vsnprintf(buffer.data(), buffer.size(), format, args);
    if (length < 0)
        return {};
    if (cut != nullptr)
        *cut = static_cast<std::size_t>(length) >= buffer.size();
    buffer.resize(std::min(static_cast<std::size_t>(length), buffer.size() - 1));
    return buffer;
}

namespace {

bool decodeUtf8(std::string_view bytes, QString& out) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    out = decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return !decoder.hasError();
}

// Length of a lead byte's sequence, 0 for a byte that cannot start one.
int sequenceLength(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

} // namespace

QString displayText(std::string_view bytes, bool mayBeCut) {
    QString text;
    if (decodeUtf8(bytes, text))
        return text;
    if (!mayBeCut)
        return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    // A cut multi-byte sequence at the end: its lead byte sits in the last three bytes and the
    // sequence would run past the end.
    for (std::size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
        auto lead = static_cast<unsigned char>(bytes[bytes.size() - back]);
        if (lead < 0x80)
            break;
        if (int need = sequenceLength(lead); need != 0) {
            if (static_cast<std::size_t>(need) > back &&
                decodeUtf8(bytes.substr(0, bytes.size() - back), text))
                return text;
            break;
        }
    }
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

} // namespace toppeek::operations

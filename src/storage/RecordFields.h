// Field readers and writers shared by the settings and filters files.
//
// The readers report whether a field arrived whole, so that a loader can
// stop at the point where a damaged or cut-off file ends instead of taking
// fragments for data. Texts are written cut to the limit their reader
// applies, so that a file the program wrote always reads back aligned.
#pragma once

#include "core/RecordStream.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace toppeek::storage {

// Item counts are signed 16-bit numbers in both files.
inline constexpr int maxListCount = 32767;

bool readByte(core::RecordStream& stream, std::uint8_t& value);
bool readInt16(core::RecordStream& stream, std::int16_t& value);
bool readUint32(core::RecordStream& stream, std::uint32_t& value);

// A stored text of at most size - 1 characters. A longer stored text is cut
// and its remaining bytes are skipped, so the fields behind it stay in
// place. None when the file ends before the whole text was read.
std::optional<std::string> readText(core::RecordStream& stream, int size);

// readText for a text stored with writeScrambledText.
std::optional<std::string> readScrambledText(core::RecordStream& stream, int size,
                                             std::string_view key);

void writeByte(core::RecordStream& stream, std::uint8_t value);
void writeText(core::RecordStream& stream, std::string_view text, int maxLength);

// A list count as the readers take it: counts of 32768 or more (negative as
// signed 16-bit numbers) mean no items. None when the count did not arrive.
std::optional<int> readCount(core::RecordStream& stream);

// Writes at most maxListCount items: the count, then each item.
void writeCount(core::RecordStream& stream, int count);

// Writes the file at path through a temporary file in the same directory,
// which replaces path only when every byte, the flush and the fsync
// succeeded. On failure path keeps its old content, the temporary file is
// removed and the result is false. New files get permissions 0600.
// Temporary files of earlier saves that were cut off (path + "." + six
// characters, this user's, unchanged for staleTemporaryAge seconds) are
// removed first. A path that is a symbolic link is written at the link's
// target, and the link stays.
inline constexpr int staleTemporaryAge = 60;
bool saveReplacing(const std::string& path,
                   const std::function<void(core::RecordStream&)>& writeFields);

} // namespace toppeek::storage

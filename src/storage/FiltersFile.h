// The file that keeps the filter set between runs.
#pragma once

#include "messages/Filters.h"

#include <memory>
#include <string>

namespace toppeek::core {
class RecordStream;
} // namespace toppeek::core

namespace toppeek::storage {

// Writes the whole filter set. The old file is replaced only when the new
// one was written completely; false (and the old file untouched) otherwise.
bool saveFilters(const messages::Filters& filters, const std::string& path);

// The whole content of the filters file, written into an open stream.
void writeFiltersFile(core::RecordStream& stream, const messages::Filters& filters);

// Replaces the filter set with the file's. False, with the set unchanged,
// when the file cannot be opened or is not a filters file. A file that ends
// early gives the rules and domains in front of the cut (one cut in the
// middle is dropped) and switches off where their bytes are missing.
// Domain lists are put in byte order without duplicates, as lookups in
// them require, whatever order the file has.
bool loadFilters(messages::Filters& filters, const std::string& path);

// One rule record; texts longer than FilterRule::kMaxTextLength are written cut.
void writeFilterRule(core::RecordStream& stream, const messages::FilterRule& rule);
// One rule record, or null when the file ends inside it.
std::unique_ptr<messages::FilterRule> readFilterRule(core::RecordStream& stream);

// The filters file, where dataFilePath puts the program's files.
std::string filtersFilePath();

} // namespace toppeek::storage

// The header listing file that Print headers writes.
#pragma once

#include "core/DataFiles.h"
#include "messages/MessageList.h"

#include <string>

namespace toppeek::ui {

// Writes every entry's header text, in list order, each followed by "\n\n",
// to path (replacing an earlier file only once the new one is complete). The
// texts are written in UTF-8 and safe to show (messages::safeToShow, line
// breaks kept).
// False when the file could not be written.
bool writeHeaderListing(const std::string& path, const messages::MessageList& list);

// The header listing file, where dataFilePath puts the program's files.
std::string headerListingPath();

} // namespace toppeek::ui

#include "ui/HeaderListing.h"
#include "core/DataFiles.h"

#include "core/Text.h"
#include "messages/MailText.h"
#include "storage/RecordFields.h"

#include <algorithm>
#include <limits>
#include <string_view>

namespace toppeek::ui {

using core::dataFilePath;
using core::RecordStream;
using messages::LineBreaks;
using messages::MessageEntry;
using messages::MessageList;
using messages::safeToShow;
using messages::utf8FromBytes;

namespace {

constexpr const char* kHeaderListingName = "toppeek-headers.txt";

} // namespace

bool writeHeaderListing(const std::string& path, const MessageList& list) {
    return storage::saveReplacing(path, [&list](RecordStream& stream) {
        for (const MessageEntry* entry : list) {
            // The file is read by a person, in an editor or on a terminal: the lines as they
            // came, in UTF-8, with nothing in them that a terminal would obey.
            const std::string shown =
                safeToShow(utf8FromBytes(entry->headerText), LineBreaks::Kept);
            // Header blocks are far below the stream's limit; the loop only
            // guards against a block larger than one write can take.
            std::string_view text = shown;
            while (!text.empty()) {
                const std::size_t piece =
                    std::min<std::size_t>(text.size(), std::numeric_limits<int>::max());
                stream.writeBytes(text.data(), static_cast<int>(piece));
                text.remove_prefix(piece);
            }
            stream.writeBytes("\n\n", 2);
        }
    });
}

std::string headerListingPath() {
    return dataFilePath(kHeaderListingName);
}

} // namespace toppeek::ui

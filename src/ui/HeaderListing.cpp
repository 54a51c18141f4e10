#include "ui/HeaderListing.h"
#include "core/DataFiles.h"

#include "core/Text.h"
#include "storage/RecordFields.h"

#include <algorithm>
#include <limits>
#include <string_view>

namespace toppeek::ui {

using core::dataFilePath;
using core::RecordStream;
using messages::MessageEntry;
using messages::MessageList;

namespace {

constexpr const char* kHeaderListingName = "toppeek-headers.txt";

} // namespace

bool writeHeaderListing(const std::string& path, const MessageList& list) {
    return storage::saveReplacing(path, [&list](RecordStream& stream) {
        for (const MessageEntry* entry : list) {
            // Header blocks are far below the stream's limit; the loop only
            // guards against a block larger than one write can take.
            std::string_view text = entry->headerText;
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

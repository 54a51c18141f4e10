#include "DemoMailbox.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace toppeek::demo {

std::string withCrlfLineEnds(std::string_view text) {
    std::string result;
    result.reserve(text.size() + text.size() / 16 + 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            result += "\r\n";
        } else if (c == '\n') {
            result += "\r\n";
        } else {
            result += c;
        }
    }
    if (!result.empty() && !result.ends_with("\r\n"))
        result += "\r\n";
    return result;
}

std::optional<DemoMailbox> DemoMailbox::load(const std::string& folder, std::string& error) {
    namespace fs = std::filesystem;
    std::error_code failure;
    std::vector<fs::path> files;
    for (fs::directory_iterator it(folder, failure), end; !failure && it != end;
         it.increment(failure)) {
        if (it->path().extension() == ".eml" && it->is_regular_file(failure))
            files.push_back(it->path());
    }
    if (failure) {
        error = "cannot read the mailbox folder " + folder + ": " + failure.message();
        return std::nullopt;
    }
    if (files.empty()) {
        error = "the mailbox folder " + folder + " holds no .eml files";
        return std::nullopt;
    }
    std::sort(files.begin(), files.end());

    std::vector<DemoMessage> messages;
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in.good() && !in.eof()) {
            error = "cannot read " + file.string();
            return std::nullopt;
        }
        messages.push_back({file.filename().string(), withCrlfLineEnds(bytes)});
    }
    return DemoMailbox(std::move(messages));
}

void DemoMailbox::remove(const std::vector<bool>& flags) {
    std::vector<DemoMessage> kept;
    for (std::size_t i = 0; i < messages_.size(); ++i)
        if (i >= flags.size() || !flags[i])
            kept.push_back(std::move(messages_[i]));
    messages_ = std::move(kept);
}

} // namespace toppeek::demo

// The demo mailbox: the messages of a folder of .eml files, held in memory in the order of their
// file names, with the line ends a POP3 server sends (CR LF).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace toppeek::demo {

struct DemoMessage {
    std::string name; // the file name without its folder; its unique id too
    std::string text; // every line ended by CR LF; its length is the size the server reports
};

// Gives every line of text a CR LF ending, whatever ending it had (CR LF, LF or a lone CR),
// the last line too.
std::string withCrlfLineEnds(std::string_view text);

class DemoMailbox {
public:
    DemoMailbox() = default;
    explicit DemoMailbox(std::vector<DemoMessage> messages) : messages_(std::move(messages)) {}

    // Every *.eml file of folder, sorted by name; nothing when the folder cannot be read or
    // holds none, with the reason in error.
    static std::optional<DemoMailbox> load(const std::string& folder, std::string& error);

    const std::vector<DemoMessage>& messages() const { return messages_; }
    std::size_t size() const { return messages_.size(); }
    // Takes out the messages whose flag is set (flags[i] for message i + 1); the rest close up
    // as a server renumbers them in the next session.
    void remove(const std::vector<bool>& flags);

private:
    std::vector<DemoMessage> messages_;
};

} // namespace toppeek::demo

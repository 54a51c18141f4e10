#include "DecodingCorpus.h"

#include "messages/MailText.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>

namespace toppeek::bench {

namespace {

// Lines with CR LF ends, dot-stuffed, ended by the terminating line.
std::string asReply(const std::string& text) {
    std::string reply;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] == '.')
            reply += '.';
        reply += line + "\r\n";
    }
    return reply + ".\r\n";
}

} // namespace

std::vector<FetchedMessage> loadDecodingCorpus(const std::filesystem::path& dir) {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (const auto& item : std::filesystem::directory_iterator(dir, error)) {
        const std::string name = item.path().filename().string();
        if (name.starts_with("msg_") && name.ends_with(".txt"))
            files.push_back(item.path());
    }
    std::sort(files.begin(), files.end());
    std::vector<FetchedMessage> corpus;
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(in), {}};
        std::size_t split = text.find("\n\n");
        const std::size_t crlf = text.find("\r\n\r\n");
        if (crlf != std::string::npos && (split == std::string::npos || crlf < split))
            split = crlf + 2;
        else if (split != std::string::npos)
            split += 1;
        else
            split = text.size();
        corpus.push_back({asReply(text.substr(0, split)), asReply(text.substr(split))});
    }
    return corpus;
}

double timeDecoding(const std::vector<FetchedMessage>& corpus, int runs) {
    if (corpus.empty() || runs < 1)
        return -1;
    // Enough passes per run that the clock's resolution does not matter.
    constexpr int kPasses = 50;
    std::vector<double> perMessage;
    std::size_t sink = 0;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        for (int pass = 0; pass < kPasses; ++pass)
            for (const FetchedMessage& message : corpus)
                sink += messages::readableMessage(message.header, message.body).text.size();
        const std::chrono::duration<double, std::micro> spent =
            std::chrono::steady_clock::now() - start;
        perMessage.push_back(spent.count() / (kPasses * static_cast<double>(corpus.size())));
    }
    std::sort(perMessage.begin(), perMessage.end());
    return sink > 0 ? perMessage[perMessage.size() / 2] : -1;
}

} // namespace toppeek::bench

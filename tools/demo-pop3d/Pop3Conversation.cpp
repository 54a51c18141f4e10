#include "Pop3Conversation.h"

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <utility>

namespace toppeek::demo {

namespace {

std::string upper(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return result;
}

Reply ok(std::string text = {}) {
    return {text.empty() ? "+OK\r\n" : "+OK " + text + "\r\n"};
}

Reply err(const std::string& text) {
    return {"-ERR " + text + "\r\n"};
}

// A non-negative decimal number of at most nine digits, so that it cannot overflow.
bool parseNumber(std::string_view text, std::size_t& value) {
    if (text.empty() || text.size() > 9 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    value = 0;
    for (char c : text)
        value = value * 10 + static_cast<std::size_t>(c - '0');
    return true;
}

// The arguments split at runs of spaces.
std::vector<std::string_view> words(std::string_view text) {
    std::vector<std::string_view> result;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == ' ')
            ++i;
        const std::size_t start = i;
        while (i < text.size() && text[i] != ' ')
            ++i;
        if (i > start)
            result.push_back(text.substr(start, i - start));
    }
    return result;
}

// The message's header block with its blank line, then at most lines lines of its body.
std::string topOf(const std::string& text, std::size_t lines) {
    std::size_t end = text.find("\r\n\r\n");
    if (end == std::string::npos)
        return text; // all header: there is no body to cut
    end += 4;
    while (lines > 0 && end < text.size()) {
        const std::size_t next = text.find("\r\n", end);
        end = next == std::string::npos ? text.size() : next + 2;
        --lines;
    }
    return text.substr(0, end);
}

} // namespace

std::string apopDigestOf(std::string_view stamp, std::string_view password) {
    std::string combined(stamp);
    combined += password;
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (EVP_Digest(combined.data(), combined.size(), digest.data(), &length, EVP_md5(), nullptr) !=
        1)
        return {};
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        std::array<char, 3> pair{};
        std::snprintf(pair.data(), pair.size(), "%02x", digest[i]);
        hex += pair.data();
    }
    return hex;
}

std::string dotStuffed(std::string_view text) {
    std::string result;
    result.reserve(text.size() + 8);
    bool lineStart = true;
    for (char c : text) {
        if (lineStart && c == '.')
            result += '.';
        result += c;
        lineStart = c == '\n';
    }
    if (!result.empty() && !result.ends_with("\r\n"))
        result += "\r\n";
    result += ".\r\n";
    return result;
}

Pop3Conversation::Pop3Conversation(DemoMailbox& mailbox, Credentials credentials, std::string stamp)
    : mailbox_(mailbox), credentials_(std::move(credentials)), stamp_(std::move(stamp)) {}

std::string Pop3Conversation::greeting() const {
    return "+OK TopPeek demo POP3 server ready " + stamp_ + "\r\n";
}

Reply Pop3Conversation::handle(std::string_view line) {
    if (state_ == State::Done)
        return err("session is over");
    if (line.size() + 2 > kMaxCommandLine)
        return err("command line too long");
    const std::size_t space = line.find(' ');
    const std::string keyword = upper(line.substr(0, space));
    const std::string_view arguments =
        space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
    if (keyword == "CAPA")
        return {
            std::string("+OK capability list follows\r\nUSER\r\nTOP\r\nUIDL\r\n") +
            (startTlsOffered_ && !secured_ && state_ == State::Authorization ? "STLS\r\n" : "") +
            ".\r\n"};
    if (keyword == "STLS" && startTlsOffered_) {
        if (secured_)
            return err("the connection is secured already");
        if (state_ != State::Authorization || !arguments.empty())
            return err("STLS takes no argument and comes before logging in");
        Reply reply = ok("begin TLS negotiation");
        reply.startTls = true;
        return reply;
    }
    if (keyword == "NOOP" && state_ == State::Transaction)
        return ok();
    return state_ == State::Authorization ? authorization(keyword, arguments)
                                          : transaction(keyword, arguments);
}

void Pop3Conversation::secured() {
    secured_ = true;
    haveUser_ = false;
    user_.clear();
}

Reply Pop3Conversation::authorization(const std::string& keyword, std::string_view arguments) {
    if (keyword == "QUIT") {
        state_ = State::Done;
        return {"+OK TopPeek demo POP3 server signing off\r\n", true};
    }
    if (keyword == "USER") {
        const auto name = words(arguments);
        if (name.size() != 1) {
            haveUser_ = false;
            return err("USER takes one name");
        }
        user_ = std::string(name.front());
        haveUser_ = true;
        return ok("send the password");
    }
    if (keyword == "PASS") {
        // The password is the rest of the line: it may hold spaces.
        const bool accepted =
            haveUser_ && user_ == credentials_.user && arguments == credentials_.password;
        const bool hadUser = haveUser_;
        haveUser_ = false;
        if (!hadUser)
            return err("send USER first");
        if (!accepted)
            return err("invalid user name or password");
        return enterTransaction();
    }
    if (keyword == "APOP") {
        haveUser_ = false;
        const auto parts = words(arguments);
        if (parts.size() != 2)
            return err("APOP takes a name and a digest");
        const std::string expected = apopDigestOf(stamp_, credentials_.password);
        std::string given(parts[1]);
        std::transform(given.begin(), given.end(), given.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (parts[0] != credentials_.user || given != expected)
            return err("permission denied");
        return enterTransaction();
    }
    return err("not allowed before logging in");
}

Reply Pop3Conversation::enterTransaction() {
    state_ = State::Transaction;
    deleted_.assign(mailbox_.size(), false);
    return ok(credentials_.user + "'s maildrop has " + std::to_string(liveCount()) + " messages (" +
              std::to_string(liveOctets()) + " octets)");
}

std::size_t Pop3Conversation::liveCount() const {
    return static_cast<std::size_t>(std::count(deleted_.begin(), deleted_.end(), false));
}

std::size_t Pop3Conversation::liveOctets() const {
    std::size_t octets = 0;
    for (std::size_t i = 0; i < deleted_.size(); ++i)
        if (!deleted_[i])
            octets += mailbox_.messages()[i].text.size();
    return octets;
}

const DemoMessage* Pop3Conversation::message(std::string_view argument, std::size_t& index) const {
    std::size_t number = 0;
    if (!parseNumber(argument, number) || number < 1 || number > deleted_.size() ||
        deleted_[number - 1])
        return nullptr;
    index = number - 1;
    return &mailbox_.messages()[index];
}

Reply Pop3Conversation::transaction(const std::string& keyword, std::string_view arguments) {
    const auto args = words(arguments);
    std::size_t index = 0;
    if (keyword == "STAT") {
        if (!args.empty())
            return err("STAT takes no argument");
        return ok(std::to_string(liveCount()) + " " + std::to_string(liveOctets()));
    }
    if (keyword == "LIST" || keyword == "UIDL") {
        const bool list = keyword == "LIST";
        auto field = [list](std::size_t i, const DemoMessage& m) {
            return std::to_string(i + 1) + " " + (list ? std::to_string(m.text.size()) : m.name);
        };
        if (args.size() > 1)
            return err("too many arguments");
        if (args.size() == 1) {
            const DemoMessage* m = message(args[0], index);
            return m == nullptr ? err("no such message") : ok(field(index, *m));
        }
        std::string reply = "+OK " + std::to_string(liveCount()) + " messages (" +
                            std::to_string(liveOctets()) + " octets)\r\n";
        for (std::size_t i = 0; i < deleted_.size(); ++i)
            if (!deleted_[i])
                reply += field(i, mailbox_.messages()[i]) + "\r\n";
        return {reply + ".\r\n"};
    }
    if (keyword == "RETR" || keyword == "DELE") {
        if (args.size() != 1)
            return err(keyword + " takes one message number");
        const DemoMessage* m = message(args[0], index);
        if (m == nullptr)
            return err("no such message");
        if (keyword == "DELE") {
            deleted_[index] = true;
            return ok("message " + std::to_string(index + 1) + " deleted");
        }
        return {"+OK " + std::to_string(m->text.size()) + " octets\r\n" + dotStuffed(m->text)};
    }
    if (keyword == "TOP") {
        std::size_t lines = 0;
        if (args.size() != 2 || !parseNumber(args[1], lines))
            return err("TOP takes a message number and a line count");
        const DemoMessage* m = message(args[0], index);
        if (m == nullptr)
            return err("no such message");
        return {"+OK top of message follows\r\n" + dotStuffed(topOf(m->text, lines))};
    }
    if (keyword == "RSET") {
        deleted_.assign(deleted_.size(), false);
        return ok("maildrop has " + std::to_string(liveCount()) + " messages (" +
                  std::to_string(liveOctets()) + " octets)");
    }
    if (keyword == "QUIT") {
        // The update state: only now do the deletions take effect.
        const std::size_t removed = deleted_.size() - liveCount();
        mailbox_.remove(deleted_);
        state_ = State::Done;
        return {"+OK TopPeek demo POP3 server signing off (" + std::to_string(removed) +
                    " messages deleted, " + std::to_string(mailbox_.size()) + " left)\r\n",
                true};
    }
    if (keyword == "USER" || keyword == "PASS" || keyword == "APOP")
        return err("already logged in");
    return err("unknown command");
}

} // namespace toppeek::demo

#include "storage/SignInOptions.h"

#include <algorithm>
#include <sstream>
#include <vector>

namespace toppeek::storage {

namespace {

constexpr std::string_view kLinePrefix = "sign-in ";
constexpr std::string_view kOAuth2 = "oauth2";

std::string orDash(const std::string& text) {
    return text.empty() ? std::string("-") : text;
}

std::string undash(const std::string& text) {
    return text == "-" ? std::string() : text;
}

// A field of the line holds no blank: texts that would are not kept.
bool isField(const std::string& text) {
    return text.find_first_of(" \n=") == std::string::npos;
}

// The sign-in lines of text, and the text without them. Every other line stays as it was, empty
// ones and a last line end included, so that a file saved again keeps its texts exactly.
std::vector<std::string> splitOff(std::string& text) {
    std::vector<std::string> taken;
    std::string kept;
    bool first = true;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find('\n', start);
        const std::string line =
            text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (line.starts_with(kLinePrefix)) {
            taken.push_back(line);
        } else {
            if (!first)
                kept += '\n';
            kept += line;
            first = false;
        }
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    text = std::move(kept);
    return taken;
}

// The reserved texts with the line of each OAuth2 account of accounts added to the first text
// with room for it; placed says for each account whether its line (if any) found room.
std::array<std::string, 4> reservedTextsOf(const Settings& settings) {
    return {settings.reservedText1, settings.reservedText2, settings.reservedText3,
            settings.reservedText4};
}

std::array<std::string, 4> packSignInLines(std::array<std::string, 4> texts,
                                           const std::vector<const Account*>& accounts,
                                           std::vector<bool>& placed) {
    const std::array<std::size_t, 4> limits = {
        Settings::kMaxReservedText1Length, Settings::kMaxReservedTextLength,
        Settings::kMaxReservedTextLength, Settings::kMaxReservedTextLength};
    placed.assign(accounts.size(), true);
    for (std::size_t a = 0; a < accounts.size(); ++a) {
        const std::optional<std::string> line = signInLine(*accounts[a]);
        if (!line)
            continue;
        bool found = false;
        for (std::size_t i = 0; i < texts.size() && !found; ++i) {
            const std::size_t length = texts[i].size() + (texts[i].empty() ? 0 : 1) + line->size();
            if (length <= limits[i]) {
                if (!texts[i].empty())
                    texts[i] += '\n';
                texts[i] += *line;
                found = true;
            }
        }
        placed[a] = found;
    }
    return texts;
}

} // namespace

std::optional<std::string> signInLine(const Account& account) {
    if (account.signIn != SignInMethod::OAuth2)
        return std::nullopt;
    const OAuthSettings& oauth = account.oauth;
    std::string line = std::string(kLinePrefix) + account.address + "=" + std::string(kOAuth2) +
                       " " + orDash(oauth.provider) + " " + orDash(oauth.clientId) + " " +
                       orDash(oauth.clientSecret);
    if (!oauth.authorizationUrl.empty() || !oauth.tokenUrl.empty()) {
        line +=
            " " + orDash(oauth.authorizationUrl) + " " + orDash(oauth.tokenUrl) + " " + oauth.scope;
    }
    for (const std::string* field : {&oauth.provider, &oauth.clientId, &oauth.clientSecret,
                                     &oauth.authorizationUrl, &oauth.tokenUrl})
        if (!isField(*field))
            return std::nullopt;
    if (account.address.find_first_of("\n=") != std::string::npos ||
        oauth.scope.find('\n') != std::string::npos)
        return std::nullopt;
    return line;
}

std::array<std::string, 4> reservedTextsForFile(const Settings& settings, int* dropped) {
    std::vector<const Account*> accounts(settings.accounts.begin(), settings.accounts.end());
    std::vector<bool> placed;
    std::array<std::string, 4> texts = packSignInLines(reservedTextsOf(settings), accounts, placed);
    if (dropped != nullptr)
        *dropped = static_cast<int>(std::count(placed.begin(), placed.end(), false));
    return texts;
}

SignInRoom signInRoomFor(const Settings& settings, const Account* replaced, const Account& edited) {
    if (edited.signIn != SignInMethod::OAuth2)
        return SignInRoom::Fits;
    if (!signInLine(edited))
        return SignInRoom::NotAField;
    std::vector<const Account*> before(settings.accounts.begin(), settings.accounts.end());
    std::vector<const Account*> after = before;
    const auto at = std::find(after.begin(), after.end(), replaced);
    if (replaced != nullptr && at != after.end())
        *at = &edited;
    else
        after.push_back(&edited);
    std::vector<bool> placedBefore, placedAfter;
    packSignInLines(reservedTextsOf(settings), before, placedBefore);
    packSignInLines(reservedTextsOf(settings), after, placedAfter);
    // The edited account's line must find room, and must not take the room of a line that had
    // some.
    for (std::size_t i = 0; i < after.size(); ++i) {
        const bool hadRoom = i < before.size() && before[i] == after[i] && placedBefore[i];
        if ((after[i] == &edited || hadRoom) && !placedAfter[i])
            return SignInRoom::NoRoom;
    }
    return SignInRoom::Fits;
}

bool signInLinesKeepRoom(const Settings& settings, const std::string& firstText) {
    const std::vector<const Account*> accounts(settings.accounts.begin(), settings.accounts.end());
    std::vector<bool> placedNow, placedThen;
    packSignInLines(reservedTextsOf(settings), accounts, placedNow);
    std::array<std::string, 4> texts = reservedTextsOf(settings);
    texts[0] = firstText;
    packSignInLines(std::move(texts), accounts, placedThen);
    for (std::size_t i = 0; i < accounts.size(); ++i)
        if (placedNow[i] && !placedThen[i])
            return false;
    return true;
}

void takeSignInOptions(Settings& settings) {
    std::vector<std::string> lines;
    for (std::string* text : {&settings.reservedText1, &settings.reservedText2,
                              &settings.reservedText3, &settings.reservedText4}) {
        std::vector<std::string> taken = splitOff(*text);
        lines.insert(lines.end(), taken.begin(), taken.end());
    }
    for (const std::string& line : lines) {
        const std::size_t equals = line.find('=', kLinePrefix.size());
        if (equals == std::string::npos)
            continue;
        const std::string address = line.substr(kLinePrefix.size(), equals - kLinePrefix.size());
        std::istringstream fields(line.substr(equals + 1));
        std::string method, provider, clientId, secret, authorization, token;
        fields >> method >> provider >> clientId >> secret >> authorization >> token;
        std::string scope;
        std::getline(fields >> std::ws, scope);
        if (method != kOAuth2)
            continue;
        for (Account* account : settings.accounts) {
            if (account->address != address)
                continue;
            account->signIn = SignInMethod::OAuth2;
            account->oauth = {undash(provider),      undash(clientId), undash(secret),
                              undash(authorization), undash(token),    scope};
        }
    }
}

} // namespace toppeek::storage

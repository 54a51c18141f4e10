#include "discovery/Autoconfig.h"

#include "discovery/CurlTransfer.h"

#include <QString>
#include <QXmlStreamReader>

#include <algorithm>
#include <memory>

namespace toppeek::discovery {

namespace {

std::string replaceAll(std::string text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string filledIn(const QString& value, std::string_view address) {
    std::string text = value.trimmed().toStdString();
    text = replaceAll(std::move(text), "%EMAILADDRESS%", address);
    text = replaceAll(std::move(text), "%EMAILLOCALPART%", localPartOf(address));
    return replaceAll(std::move(text), "%EMAILDOMAIN%", domainOf(address));
}

// A host name as a document may give it: letters, digits, '-', '.', and IPv6 literals' ':'.
bool usableHost(const std::string& host) {
    return !host.empty() && host.size() <= 253 && std::all_of(host.begin(), host.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '.' || c == ':' || c == '_';
    });
}

std::optional<SignIn> signInNamed(const QString& name) {
    const QString method = name.trimmed();
    if (method == QLatin1String("password-cleartext") || method == QLatin1String("plain"))
        return SignIn::Password;
    if (method == QLatin1String("password-encrypted") || method == QLatin1String("secure"))
        return SignIn::EncryptedPassword;
    if (method == QLatin1String("OAuth2"))
        return SignIn::OAuth2;
    return std::nullopt;
}

// Reads one incomingServer element whose start the reader stands on.
std::optional<ServerSettings> readServer(QXmlStreamReader& xml, std::string_view address) {
    ServerSettings server;
    server.userName = std::string(address);
    std::optional<SignIn> signIn;
    std::optional<mail::Security> security;
    bool portGiven = false;
    while (xml.readNextStartElement()) {
        const auto name = xml.name();
        if (name == QLatin1String("hostname")) {
            server.host = lowerAscii(filledIn(xml.readElementText(), address));
        } else if (name == QLatin1String("port")) {
            bool ok = false;
            const int port = xml.readElementText().trimmed().toInt(&ok);
            portGiven = ok && port >= 1 && port <= 65535;
            server.port = port;
        } else if (name == QLatin1String("socketType")) {
            const QString type = xml.readElementText().trimmed();
            if (type == QLatin1String("SSL"))
                security = mail::Security::Tls;
            else if (type == QLatin1String("STARTTLS"))
                security = mail::Security::StartTls;
            else if (type == QLatin1String("plain"))
                security = mail::Security::None;
        } else if (name == QLatin1String("authentication")) {
            const std::optional<SignIn> method = signInNamed(xml.readElementText());
            if (!signIn)
                signIn = method;
        } else if (name == QLatin1String("username")) {
            server.userName = filledIn(xml.readElementText(), address);
        } else {
            xml.skipCurrentElement();
        }
    }
    if (xml.hasError() || !usableHost(server.host) || !portGiven || !security)
        return std::nullopt;
    server.security = *security;
    server.signIn = signIn.value_or(SignIn::Password);
    if (server.userName.empty())
        server.userName = std::string(address);
    return server;
}

} // namespace

std::optional<AutoconfigDocument> parseAutoconfig(std::string_view text, std::string_view address) {
    QXmlStreamReader xml(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("clientConfig"))
        return std::nullopt;
    AutoconfigDocument document;
    while (xml.readNextStartElement()) {
        if (xml.name() != QLatin1String("emailProvider")) {
            xml.skipCurrentElement();
            continue;
        }
        while (xml.readNextStartElement()) {
            if (xml.name() == QLatin1String("displayName") && document.displayName.empty()) {
                document.displayName = xml.readElementText().trimmed().toStdString();
            } else if (xml.name() == QLatin1String("incomingServer") &&
                       xml.attributes().value(QLatin1String("type")) == QLatin1String("pop3")) {
                if (auto server = readServer(xml, address))
                    document.servers.push_back(std::move(*server));
            } else {
                xml.skipCurrentElement();
            }
        }
    }
    // A document cut short or broken anywhere is not trusted in part.
    if (xml.hasError())
        return std::nullopt;
    return document;
}

std::vector<std::string> autoconfigUrls(std::string_view address, int httpsPort) {
    const std::string domain = domainOf(address);
    const std::string port = httpsPort == 443 ? std::string() : ":" + std::to_string(httpsPort);
    // The address goes into the query as the established clients send it, its '@' escaped.
    std::string escaped;
    for (const char c : address) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_' || c == '~';
        if (plain) {
            escaped.push_back(c);
        } else {
            static constexpr char kHex[] = "0123456789ABCDEF";
            const auto byte = static_cast<unsigned char>(c);
            escaped += {'%', kHex[byte >> 4], kHex[byte & 15]};
        }
    }
    return {"https://autoconfig." + domain + port + "/mail/config-v1.1.xml?emailaddress=" + escaped,
            "https://" + domain + port + "/.well-known/autoconfig/mail/config-v1.1.xml"};
}

namespace {

struct Sink {
    std::string data;
    bool tooLong = false;
};

std::size_t keep(char* data, std::size_t size, std::size_t count, void* context) {
    auto* sink = static_cast<Sink*>(context);
    const std::size_t offered = size * count;
    if (sink->data.size() + offered > kAutoconfigLimit) {
        sink->tooLong = true;
        return 0; // ends the transfer
    }
    sink->data.append(data, offered);
    return offered;
}

// "host:port:addr,addr" for CURLOPT_RESOLVE.
std::string resolveEntry(const std::string& url, const mail::AddressList& addresses) {
    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> parts(curl_url(), curl_url_cleanup);
    char* host = nullptr;
    char* port = nullptr;
    if (!parts || curl_url_set(parts.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK ||
        curl_url_get(parts.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK ||
        curl_url_get(parts.get(), CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) != CURLUE_OK) {
        curl_free(host);
        return {};
    }
    std::string entry = std::string(host) + ":" + port + ":";
    curl_free(host);
    curl_free(port);
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        const std::string text = mail::addressText(addresses[i]);
        if (i > 0)
            entry += ",";
        entry += addresses[i].family == mail::IpAddress::Family::V6 ? "[" + text + "]" : text;
    }
    return entry;
}

} // namespace

FetchOutcome fetchHttps(const std::string& url, const mail::AddressList& addresses,
                        Clock::time_point deadline, const std::atomic<bool>* stop) {
    FetchOutcome outcome;
    initialiseCurlOnce();
    const CurlEasy easy(curl_easy_init());
    if (!easy) {
        outcome.failure = "no memory";
        return outcome;
    }
    CURL* handle = easy.get();
    Sink sink;
    const auto remaining =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (remaining <= 0) {
        outcome.failure = "no time left";
        return outcome;
    }
    CurlList resolve;
    if (!addresses.empty()) {
        const std::string entry = resolveEntry(url, addresses);
        if (!entry.empty())
            resolve.reset(curl_slist_append(nullptr, entry.c_str()));
    }
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_USERAGENT, "TopPeek");
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "https");
    // A redirect to http:// would let anyone on the way hand out a server: refused.
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    trustEnvironmentStore(handle);
    curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kAutoconfigLimit));
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(remaining));
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(remaining));
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, keep);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &sink);
    if (resolve)
        curl_easy_setopt(handle, CURLOPT_RESOLVE, resolve.get());

    const CURLcode result = runTransfer(handle, stop, deadline);

    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    if (result == CURLE_OUT_OF_MEMORY) {
        outcome.failure = "no memory";
    } else if (sink.tooLong || result == CURLE_FILESIZE_EXCEEDED) {
        outcome.failure =
            "the document is larger than " + std::to_string(kAutoconfigLimit / 1024) + " KiB";
    } else if (result == CURLE_UNSUPPORTED_PROTOCOL) {
        outcome.failure = "it redirects to an address without HTTPS";
    } else if (result == CURLE_ABORTED_BY_CALLBACK) {
        outcome.failure = "cancelled";
    } else if (result == CURLE_OPERATION_TIMEDOUT) {
        outcome.failure = "no answer in time";
    } else if (result == CURLE_PEER_FAILED_VERIFICATION || result == CURLE_SSL_CACERT_BADFILE) {
        outcome.failure = "its certificate is not trusted";
    } else if (result == CURLE_COULDNT_RESOLVE_HOST) {
        outcome.failure = "no such host";
    } else if (result != CURLE_OK) {
        outcome.failure = curl_easy_strerror(result);
    } else if (status != 200) {
        outcome.failure = "HTTP status " + std::to_string(status);
    } else {
        outcome.body = std::move(sink.data);
    }
    return outcome;
}

} // namespace toppeek::discovery

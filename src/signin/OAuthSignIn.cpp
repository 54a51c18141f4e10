#include "signin/OAuthSignIn.h"

#include <QAbstractOAuth>
#include <QCryptographicHash>
#include <QDesktopServices>
#include <QEventLoop>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QOAuth2AuthorizationCodeFlow>
#include <QOAuthHttpServerReplyHandler>
#include <QRandomGenerator>
#include <QTimer>

#include <memory>

namespace toppeek::signin {

namespace {

constexpr int kStopPollMs = 100;

QByteArray base64Url(const QByteArray& bytes) {
    return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

// RFC 7636: 32 random octets make a 43-character verifier.
QByteArray codeVerifier() {
    QByteArray bytes(32, '\0');
    QRandomGenerator::system()->generate(bytes.begin(), bytes.end());
    return base64Url(bytes);
}

// An endpoint must be HTTPS; plain HTTP only on this machine's loopback, where nothing crosses a
// network.
bool isAllowedEndpoint(const QUrl& url) {
    if (!url.isValid() || url.host().isEmpty()) {
        return false;
    }
    if (url.scheme() == QLatin1String("https")) {
        return true;
    }
    const QHostAddress host(url.host());
    return url.scheme() == QLatin1String("http") &&
           (host.isLoopback() || url.host() == QLatin1String("localhost"));
}

std::chrono::system_clock::time_point expiryIn(qint64 seconds) {
    // A provider that names no lifetime gets the hour the big ones give.
    return std::chrono::system_clock::now() + std::chrono::seconds(seconds > 0 ? seconds : 3600);
}

QString providerError(const QByteArray& body) {
    const QJsonObject object = QJsonDocument::fromJson(body).object();
    QString text = object.value(QLatin1String("error")).toString();
    const QString description = object.value(QLatin1String("error_description")).toString();
    if (!description.isEmpty()) {
        text += QStringLiteral(": ") + description;
    }
    return text;
}

// Runs the event loop until done() or the wait is over; false when it ran out.
bool waitFor(QEventLoop& loop, std::chrono::milliseconds wait, const StopQuery& stop,
             bool& stopped) {
    QTimer deadline;
    deadline.setSingleShot(true);
    bool timedOut = false;
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        loop.quit();
    });
    deadline.start(wait);
    QTimer poll;
    if (stop) {
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (stop()) {
                stopped = true;
                loop.quit();
            }
        });
        poll.start(kStopPollMs);
    }
    loop.exec();
    return !timedOut && !stopped;
}

struct HttpAnswer {
    int status = 0; // 0: no HTTP answer at all
    QByteArray body;
    QString error;
};

HttpAnswer exchange(const QNetworkRequest& request, const QByteArray* form,
                    std::chrono::seconds wait) {
    QNetworkAccessManager manager;
    std::unique_ptr<QNetworkReply> reply(form != nullptr ? manager.post(request, *form)
                                                         : manager.get(request));
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    bool stopped = false;
    HttpAnswer answer;
    if (!reply->isFinished() && !waitFor(loop, wait, {}, stopped)) {
        reply->abort();
        answer.error = QStringLiteral("the provider did not answer in time");
        return answer;
    }
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    answer.body = reply->readAll();
    if (answer.status == 0) {
        answer.error = reply->errorString();
    }
    return answer;
}

QByteArray formBody(std::initializer_list<std::pair<const char*, QString>> fields) {
    QByteArray body;
    for (const auto& [name, value] : fields) {
        if (value.isEmpty()) {
            continue;
        }
        if (!body.isEmpty()) {
            body += '&';
        }
        // Every reserved character encoded, '+' included, which a form would read as a space.
        body += QByteArray(name) + '=' + QUrl::toPercentEncoding(value);
    }
    return body;
}

} // namespace

BrowserOpener systemBrowser() {
    return [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

bool stillFresh(const Tokens& tokens) {
    return !tokens.accessToken.empty() &&
           tokens.expiresAt > std::chrono::system_clock::now() + std::chrono::minutes(1);
}

SignInResult signInWithBrowser(const OAuthSetup& setup, const std::string& loginHint,
                               const BrowserOpener& openBrowser, std::chrono::seconds wait,
                               const StopQuery& stop) {
    SignInResult result;
    const QUrl authorizationUrl(QString::fromStdString(setup.authorizationUrl));
    const QUrl tokenUrl(QString::fromStdString(setup.tokenUrl));
    if (!isAllowedEndpoint(authorizationUrl) || !isAllowedEndpoint(tokenUrl)) {
        result.failure = "The provider's sign-in addresses must be https:// addresses.";
        return result;
    }
    if (setup.clientId.empty()) {
        result.failure = "The account has no client ID for the provider.";
        return result;
    }

    QNetworkAccessManager network;
    QOAuth2AuthorizationCodeFlow flow(&network);
    // The listener answers on 127.0.0.1 only (RFC 8252, 7.3), on a port the system picks.
    auto* listener =
        new QOAuthHttpServerReplyHandler(QHostAddress(QHostAddress::LocalHost), 0, &flow);
    if (!listener->isListening()) {
        result.failure = "TopPeek could not listen on 127.0.0.1 for the browser's answer.";
        return result;
    }
    result.loopbackPort = listener->port();
    listener->setCallbackText(QStringLiteral("TopPeek has the sign-in. You can close this page."));
    flow.setReplyHandler(listener);
    flow.setAuthorizationUrl(authorizationUrl);
    flow.setAccessTokenUrl(tokenUrl);
    flow.setScope(QString::fromStdString(setup.scope));
    flow.setClientIdentifier(QString::fromStdString(setup.clientId));
    if (!setup.clientSecret.empty()) {
        flow.setClientIdentifierSharedKey(QString::fromStdString(setup.clientSecret));
    }
    // Qt 6.4 has no PKCE of its own: the challenge goes with the authorization request, the
    // verifier with the code.
    const QByteArray verifier = codeVerifier();
    const QByteArray challenge =
        base64Url(QCryptographicHash::hash(verifier, QCryptographicHash::Sha256));
    const QString hint = QString::fromStdString(loginHint);
    flow.setModifyParametersFunction([&](QAbstractOAuth::Stage stage,
                                         QMultiMap<QString, QVariant>* parameters) {
        if (stage == QAbstractOAuth::Stage::RequestingAuthorization) {
            parameters->insert(QStringLiteral("code_challenge"), QString::fromLatin1(challenge));
            parameters->insert(QStringLiteral("code_challenge_method"), QStringLiteral("S256"));
            if (!hint.isEmpty()) {
                parameters->insert(QStringLiteral("login_hint"), hint);
            }
        } else if (stage == QAbstractOAuth::Stage::RequestingAccessToken) {
            parameters->insert(QStringLiteral("code_verifier"), QString::fromLatin1(verifier));
            // The code arrives percent-encoded from the redirect and Qt would encode it again.
            const QString code = parameters->value(QStringLiteral("code")).toString();
            parameters->replace(QStringLiteral("code"), QUrl::fromPercentEncoding(code.toUtf8()));
        }
    });

    QEventLoop loop;
    bool done = false;
    auto fail = [&](std::string why) {
        if (!done) {
            done = true;
            result.failure = std::move(why);
            loop.quit();
        }
    };
    QObject::connect(&flow, &QAbstractOAuth::authorizeWithBrowser, &loop, [&](const QUrl& url) {
        if (!openBrowser || !openBrowser(url)) {
            fail("No web browser could be opened for the sign-in.");
        }
    });
    // Qt drops a redirect whose state differs, or that carries an error, without a word: both are
    // told here, and end the wait.
    QObject::connect(
        listener, &QAbstractOAuthReplyHandler::callbackReceived, &loop,
        [&](const QVariantMap& values) {
            // Any other request a browser makes of the listener (its icon) carries
            // none of the answer's parameters and is no answer.
            if (!values.contains(QStringLiteral("state")) &&
                !values.contains(QStringLiteral("code")) &&
                !values.contains(QStringLiteral("error"))) {
                return;
            }
            const QString error = values.value(QStringLiteral("error")).toString();
            if (error == QLatin1String("access_denied")) {
                fail("The sign-in was refused at the provider: permission was not "
                     "given.");
            } else if (!error.isEmpty()) {
                fail("The provider refused the sign-in (" + error.toStdString() + ").");
            } else if (values.value(QStringLiteral("state")).toString() != flow.state()) {
                fail("The answer that reached TopPeek was not the one to its own "
                     "sign-in request, and was ignored.");
            } else if (values.value(QStringLiteral("code")).toString().isEmpty()) {
                fail("The provider's answer carried no authorization code.");
            }
        });
    // Qt 6.4 tells no failure of the code exchange either; the reply itself does.
    QObject::connect(&network, &QNetworkAccessManager::finished, &loop, [&](QNetworkReply* reply) {
        if (reply->url() != tokenUrl || reply->error() == QNetworkReply::NoError) {
            return;
        }
        const QString why = providerError(reply->readAll());
        fail("The provider gave no tokens for the sign-in (" +
             (why.isEmpty() ? reply->errorString() : why).toStdString() + ").");
    });
    QObject::connect(&flow, &QAbstractOAuth::granted, &loop, [&] {
        if (done) {
            return;
        }
        done = true;
        Tokens tokens;
        tokens.accessToken = flow.token().toStdString();
        tokens.refreshToken = flow.refreshToken().toStdString();
        const QDateTime expiry = flow.expirationAt();
        tokens.expiresAt = expiry.isValid()
                               ? std::chrono::system_clock::time_point(
                                     std::chrono::milliseconds(expiry.toMSecsSinceEpoch()))
                               : expiryIn(0);
        if (tokens.refreshToken.empty()) {
            result.failure = "The provider gave no refresh token, so TopPeek could not stay "
                             "signed in.";
        } else {
            result.tokens = std::move(tokens);
        }
        loop.quit();
    });

    flow.grant();
    bool stopped = false;
    if (!done && !waitFor(loop, wait, stop, stopped) && !done) {
        result.failure = stopped ? "The sign-in was stopped."
                                 : "The sign-in in the web browser was not finished in time.";
    }
    listener->close();
    return result;
}

RefreshResult refreshAccessToken(const OAuthSetup& setup, const std::string& refreshToken,
                                 std::chrono::seconds wait) {
    RefreshResult result;
    const QUrl tokenUrl(QString::fromStdString(setup.tokenUrl));
    if (!isAllowedEndpoint(tokenUrl)) {
        result.failure = "The provider's token address must be an https:// address.";
        return result;
    }
    if (refreshToken.empty()) {
        result.outcome = RefreshOutcome::SignInNeeded;
        return result;
    }
    QNetworkRequest request(tokenUrl);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QStringLiteral("application/x-www-form-urlencoded"));
    // Google takes the scope of the first grant; the others want it named again.
    const QByteArray form = formBody(
        {{"grant_type", QStringLiteral("refresh_token")},
         {"refresh_token", QString::fromStdString(refreshToken)},
         {"client_id", QString::fromStdString(setup.clientId)},
         {"client_secret", QString::fromStdString(setup.clientSecret)},
         {"scope",
          setup.kind == ProviderKind::Google ? QString() : QString::fromStdString(setup.scope)}});
    const HttpAnswer answer = exchange(request, &form, wait);
    const QJsonObject object = QJsonDocument::fromJson(answer.body).object();
    if (answer.status == 200 && object.value(QLatin1String("access_token")).isString()) {
        result.outcome = RefreshOutcome::Refreshed;
        result.tokens.accessToken =
            object.value(QLatin1String("access_token")).toString().toStdString();
        const QString renewed = object.value(QLatin1String("refresh_token")).toString();
        result.tokens.refreshToken = renewed.isEmpty() ? refreshToken : renewed.toStdString();
        result.tokens.expiresAt =
            expiryIn(static_cast<qint64>(object.value(QLatin1String("expires_in")).toDouble()));
        return result;
    }
    // RFC 6749, 5.2: invalid_grant is a refresh token that is no longer good.
    if (object.value(QLatin1String("error")).toString() == QLatin1String("invalid_grant")) {
        result.outcome = RefreshOutcome::SignInNeeded;
        result.failure = "The provider no longer accepts the account's sign-in.";
        return result;
    }
    result.failure =
        "The provider could not renew the sign-in (" +
        (answer.status == 0                     ? answer.error
         : providerError(answer.body).isEmpty() ? QStringLiteral("HTTP %1").arg(answer.status)
                                                : providerError(answer.body))
            .toStdString() +
        ").";
    return result;
}

std::optional<Endpoints> discoverEndpoints(const std::string& issuer, std::string& failure,
                                           std::chrono::seconds wait) {
    QString base = QString::fromStdString(issuer).trimmed();
    while (base.endsWith(QLatin1Char('/'))) {
        base.chop(1);
    }
    if (!isAllowedEndpoint(QUrl(base))) {
        failure = "The issuer must be an https:// address.";
        return std::nullopt;
    }
    for (const char* document :
         {"/.well-known/oauth-authorization-server", "/.well-known/openid-configuration"}) {
        const HttpAnswer answer =
            exchange(QNetworkRequest(QUrl(base + QLatin1String(document))), nullptr, wait);
        const QJsonObject object = QJsonDocument::fromJson(answer.body).object();
        Endpoints endpoints{
            object.value(QLatin1String("authorization_endpoint")).toString().toStdString(),
            object.value(QLatin1String("token_endpoint")).toString().toStdString()};
        if (answer.status == 200 && !endpoints.authorizationUrl.empty() &&
            !endpoints.tokenUrl.empty()) {
            return endpoints;
        }
    }
    failure = "No discovery document with the sign-in addresses was found at " + issuer + ".";
    return std::nullopt;
}

TokenState ensureAccessToken(const OAuthSetup& setup, const std::string& loginHint, Tokens& tokens,
                             bool mayOpenBrowser, const BrowserOpener& openBrowser,
                             std::string& failure) {
    failure.clear();
    if (stillFresh(tokens)) {
        return TokenState::Ready;
    }
    tokens.accessToken.clear();
    if (!tokens.refreshToken.empty()) {
        RefreshResult refreshed = refreshAccessToken(setup, tokens.refreshToken);
        if (refreshed.outcome == RefreshOutcome::Refreshed) {
            tokens = std::move(refreshed.tokens);
            return TokenState::Ready;
        }
        if (refreshed.outcome == RefreshOutcome::Failed) {
            failure = std::move(refreshed.failure);
            return TokenState::Failed;
        }
        tokens.refreshToken.clear();
    }
    if (!mayOpenBrowser) {
        failure = "Sign-in needed: the provider no longer accepts the account's sign-in.";
        return TokenState::SignInNeeded;
    }
    SignInResult signedIn = signInWithBrowser(setup, loginHint, openBrowser);
    if (!signedIn.tokens) {
        failure = std::move(signedIn.failure);
        return TokenState::Failed;
    }
    tokens = std::move(*signedIn.tokens);
    return TokenState::Ready;
}

} // namespace toppeek::signin

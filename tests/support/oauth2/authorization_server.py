#!/usr/bin/env python3
"""An OAuth2 authorization server for the sign-in tests, on 127.0.0.1, built on Authlib.

It stands in for a mail provider's: the authorization endpoint approves the test user without a
form (RFC 6749 authorization code grant, PKCE S256 required: RFC 7636), the token endpoint issues
short-lived access tokens and refresh tokens, and it offers revocation (RFC 7009), introspection
(RFC 7662, for Dovecot's oauth2 passdb) and a discovery document (RFC 8414). Tokens live in memory.

Started with the user name, the public client's id and the lifetime of access tokens; it prints
its port on the first line of its output once it listens. POST /test/settings (JSON) changes how
it behaves for the cases the tests need: "deny" (the user refuses consent), "wrong_state" (the
redirect carries another state), "access_lifetime" (seconds).
"""

import argparse
import os
import secrets
import sys
import threading
import time

from flask import Flask, jsonify, redirect, request
from werkzeug.serving import make_server

from authlib.integrations.flask_oauth2 import AuthorizationServer
from authlib.oauth2.rfc6749 import grants
from authlib.oauth2.rfc6749.errors import AccessDeniedError
from authlib.oauth2.rfc7009 import RevocationEndpoint
from authlib.oauth2.rfc7636 import CodeChallenge
from authlib.oauth2.rfc7662 import IntrospectionEndpoint

# Everything runs on loopback, where plain HTTP is what RFC 8252 expects of the redirect.
os.environ["AUTHLIB_INSECURE_TRANSPORT"] = "1"

INTROSPECTION_CLIENT = ("dovecot", "dovecot-secret")


class Client:
    def __init__(self, client_id, secret=None):
        self.client_id = client_id
        self.client_secret = secret

    def get_client_id(self):
        return self.client_id

    def get_default_redirect_uri(self):
        return None

    def get_allowed_scope(self, scope):
        return scope

    def check_redirect_uri(self, redirect_uri):
        # RFC 8252: a native app's loopback redirect may use any port.
        return redirect_uri.startswith("http://127.0.0.1:")

    def check_client_secret(self, client_secret):
        return self.client_secret is not None and client_secret == self.client_secret

    def check_endpoint_auth_method(self, method, endpoint):
        if self.client_secret is None:
            return method == "none"
        return method in ("client_secret_basic", "client_secret_post")

    def check_response_type(self, response_type):
        return self.client_secret is None and response_type == "code"

    def check_grant_type(self, grant_type):
        return self.client_secret is None and grant_type in ("authorization_code", "refresh_token")


class Code:
    def __init__(self, code, client_id, redirect_uri, scope, user, challenge, method):
        self.code = code
        self.client_id = client_id
        self.redirect_uri = redirect_uri
        self.scope = scope
        self.user = user
        self.code_challenge = challenge
        self.code_challenge_method = method

    def get_redirect_uri(self):
        return self.redirect_uri

    def get_scope(self):
        return self.scope


class Token:
    def __init__(self, client_id, user, scope, access, refresh, lifetime):
        self.client_id = client_id
        self.user = user
        self.scope = scope
        self.access_token = access
        self.refresh_token = refresh
        self.issued_at = time.time()
        self.expires_in = lifetime
        self.revoked = False

    def check_client(self, client):
        return client.get_client_id() == self.client_id

    def get_scope(self):
        return self.scope

    def get_expires_in(self):
        return self.expires_in

    def is_expired(self):
        return time.time() > self.issued_at + self.expires_in

    def is_revoked(self):
        return self.revoked


class State:
    def __init__(self, user, client_id, lifetime):
        self.lock = threading.Lock()
        self.user = user
        self.clients = {client_id: Client(client_id), INTROSPECTION_CLIENT[0]: Client(*INTROSPECTION_CLIENT)}
        self.codes = {}
        self.tokens = []
        self.settings = {"deny": False, "wrong_state": False, "access_lifetime": lifetime}
        self.counts = {"authorize": 0, "token": 0, "refresh": 0, "introspect": 0}


def build(state):
    app = Flask(__name__)

    def query_client(client_id):
        return state.clients.get(client_id)

    def save_token(token_data, req):
        with state.lock:
            old = getattr(req, "credential", None)
            refresh = token_data.get("refresh_token") or (old.refresh_token if isinstance(old, Token) else None)
            state.tokens.append(Token(req.client.get_client_id(), req.user, token_data.get("scope", ""),
                                      token_data["access_token"], refresh, token_data["expires_in"]))

    server = AuthorizationServer(app, query_client=query_client, save_token=save_token)
    server.register_token_generator(
        "default",
        lambda grant_type, client, user=None, scope=None, expires_in=None, include_refresh_token=True: {
            "token_type": "Bearer",
            "access_token": "at-" + secrets.token_urlsafe(24),
            "expires_in": int(state.settings["access_lifetime"]),
            "scope": scope or "",
            **({"refresh_token": "rt-" + secrets.token_urlsafe(24)} if include_refresh_token else {}),
        })

    class CodeGrant(grants.AuthorizationCodeGrant):
        TOKEN_ENDPOINT_AUTH_METHODS = ["none"]

        def save_authorization_code(self, code, req):
            with state.lock:
                state.codes[code] = Code(code, req.client.get_client_id(), req.redirect_uri, req.scope,
                                         req.user, req.data.get("code_challenge"),
                                         req.data.get("code_challenge_method"))

        def query_authorization_code(self, code, client):
            with state.lock:
                found = state.codes.get(code)
            return found if found and found.client_id == client.get_client_id() else None

        def delete_authorization_code(self, authorization_code):
            with state.lock:
                state.codes.pop(authorization_code.code, None)

        def authenticate_user(self, authorization_code):
            return authorization_code.user

    class RefreshGrant(grants.RefreshTokenGrant):
        TOKEN_ENDPOINT_AUTH_METHODS = ["none"]
        INCLUDE_NEW_REFRESH_TOKEN = False

        def authenticate_refresh_token(self, refresh_token):
            with state.lock:
                state.counts["refresh"] += 1
                for token in state.tokens:
                    if token.refresh_token == refresh_token and not token.revoked:
                        return token
            return None

        def authenticate_user(self, credential):
            return credential.user

        def revoke_old_credential(self, credential):
            pass

    class Revocation(RevocationEndpoint):
        CLIENT_AUTH_METHODS = ["none", "client_secret_basic", "client_secret_post"]

        def query_token(self, token_string, token_type_hint):
            with state.lock:
                for token in state.tokens:
                    if token_string in (token.access_token, token.refresh_token):
                        return token
            return None

        def revoke_token(self, token, req):
            # Revoking a refresh token ends every token issued with it.
            with state.lock:
                for other in state.tokens:
                    if other.refresh_token == token.refresh_token:
                        other.revoked = True

    class Introspection(IntrospectionEndpoint):
        CLIENT_AUTH_METHODS = ["client_secret_basic", "client_secret_post"]

        def query_token(self, token_string, token_type_hint):
            with state.lock:
                state.counts["introspect"] += 1
                for token in state.tokens:
                    if token.access_token == token_string:
                        return token
            return None

        def introspect_token(self, token):
            active = not token.revoked and not token.is_expired()
            return {"active": active, "username": token.user, "client_id": token.client_id,
                    "scope": token.scope, "token_type": "Bearer",
                    "exp": int(token.issued_at + token.expires_in)}

        def check_permission(self, token, client, req):
            return client.get_client_id() == INTROSPECTION_CLIENT[0]

    server.register_grant(CodeGrant, [CodeChallenge(required=True)])
    server.register_grant(RefreshGrant)
    server.register_endpoint(Revocation)
    server.register_endpoint(Introspection)

    @app.route("/authorize")
    def authorize():
        with state.lock:
            state.counts["authorize"] += 1
            settings = dict(state.settings)
        if settings["deny"]:
            return server.create_authorization_response(grant_user=None)
        response = server.create_authorization_response(grant_user=state.user)
        if settings["wrong_state"]:
            location = response.headers["Location"]
            given = request.args.get("state", "")
            response.headers["Location"] = location.replace("state=" + given, "state=not-" + given)
        return response

    @app.route("/token", methods=["POST"])
    def token():
        with state.lock:
            state.counts["token"] += 1
        return server.create_token_response()

    @app.route("/revoke", methods=["POST"])
    def revoke():
        return server.create_endpoint_response(RevocationEndpoint.ENDPOINT_NAME)

    @app.route("/introspect", methods=["POST"])
    def introspect():
        return server.create_endpoint_response(IntrospectionEndpoint.ENDPOINT_NAME)

    @app.route("/.well-known/oauth-authorization-server")
    def discovery():
        base = request.host_url.rstrip("/")
        return jsonify({"issuer": base, "authorization_endpoint": base + "/authorize",
                        "token_endpoint": base + "/token", "revocation_endpoint": base + "/revoke",
                        "introspection_endpoint": base + "/introspect",
                        "response_types_supported": ["code"],
                        "code_challenge_methods_supported": ["S256"]})

    @app.route("/test/settings", methods=["POST"])
    def settings():
        with state.lock:
            state.settings.update(request.get_json(force=True))
        return jsonify(state.settings)

    @app.route("/test/counts")
    def counts():
        with state.lock:
            return jsonify(state.counts)

    @app.route("/test/issue", methods=["POST"])
    def issue():
        # Tokens as a finished browser sign-in leaves them, for tests that start signed in.
        client_id = next(iter(state.clients))
        token = Token(client_id, state.user, "pop3", "at-" + secrets.token_urlsafe(24),
                      "rt-" + secrets.token_urlsafe(24), int(state.settings["access_lifetime"]))
        with state.lock:
            state.tokens.append(token)
        return jsonify({"access_token": token.access_token, "refresh_token": token.refresh_token})

    @app.route("/test/revoke-all", methods=["POST"])
    def revoke_all():
        with state.lock:
            for token in state.tokens:
                token.revoked = True
        return jsonify({})

    return app


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--user", required=True)
    parser.add_argument("--client-id", required=True)
    parser.add_argument("--access-lifetime", type=int, default=300)
    args = parser.parse_args()
    state = State(args.user, args.client_id, args.access_lifetime)
    http = make_server("127.0.0.1", 0, build(state), threaded=True)
    print(http.server_port, flush=True)
    http.serve_forever()


if __name__ == "__main__":
    sys.exit(main())

#pragma once

// The credential step of the POP3 log-in: SASL AUTH (RFC 5034) with the mechanism the server and
// the account allow, falling back to APOP or USER/PASS. Private to the POP3 client.

#include "mail/Pop3.h"

#include <functional>
#include <optional>
#include <string_view>

namespace toppeek::mail {

// What the trace shows in place of a SASL payload.
inline constexpr std::string_view kMaskedPayload = "xxxx";

// Runs the mechanisms loginMechanisms gives in turn until one is accepted; popCommands runs the
// non-SASL ones ("APOP", "USER") and leaves their last reply in buffer (kLoginBufferSize bytes).
// host and port go into OAUTHBEARER's message. True once signed in (session.signedInWith names
// the mechanism); false with control.failureReason and session.refusalCode set where known.
bool authenticate(Pop3Session& session, const LoginRequest& request, const ServerOffer& offer,
                  const std::optional<Transport::Binding>& binding, std::string_view host, int port,
                  char* buffer, const std::function<bool(std::string_view)>& popCommands);

} // namespace toppeek::mail

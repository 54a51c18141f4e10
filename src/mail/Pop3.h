#pragma once

// The client side of POP3 (RFC 1939) as the mailbox operations need it: CAPA, log in with
// USER/PASS or APOP, then STAT, UIDL, LIST, TOP, DELE and QUIT. Each command is one line and one
// status reply (plus a body for CAPA, TOP and the whole mailbox's UIDL and LIST), read in turn;
// with a server that pipelines (RFC 2449) commands may go ahead of the replies in a bounded
// window, the replies still read one by one in order.

#include "mail/Connection.h"
#include "mail/Sasl.h"

#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace toppeek::mail {

// What the server refused when a log-in gave kLoginRefused, so that the user is told what is true
// whatever became of the connection after the refusal (many servers hang up right after it).
enum class LoginRefusal {
    None,        // nothing was refused (the connection broke, or the log-in succeeded)
    SecureLink,  // STLS: the server offers no secure connection on this port; nothing was sent
    Credentials, // the user name, the password or the APOP digest
};

// A POP3 conversation and the connection it runs on. It owns the socket and the channel over it
// and closes them when it goes (abortively: a conversation still open has broken off), so no path
// can leave a connection open. Move-only. The log-in functions open it; pop3Quit ends the
// conversation politely, after which close() or the destructor drops the connection.
class Pop3Session {
public:
    Pop3Session() = default;
    ~Pop3Session() { close(); }
    Pop3Session(Pop3Session&& other) noexcept;
    Pop3Session& operator=(Pop3Session&& other) noexcept;
    Pop3Session(const Pop3Session&) = delete;
    Pop3Session& operator=(const Pop3Session&) = delete;

    // Takes a connected socket over as the plain channel, closing any connection held before.
    void attach(Socket connected);
    // Puts a secure channel over the socket in place of the plain one.
    void secureWith(std::unique_ptr<Transport> channel);
    // Drops the connection; kInvalidSocket from then on. Nothing is sent.
    void close();
    Socket socket() const { return socket_; }
    // What the commands go through: the socket itself or TLS over it. Only while open.
    Transport& channel() { return *transport_; }
    bool isSecured() const { return secured_; }

    // Whether the server said it takes commands ahead of their replies (RFC 2449 PIPELINING).
    bool pipelines() const { return capabilities.contains("PIPELINING"); }
    // Commands sent ahead whose replies have not been read, and their bytes.
    int commandsInFlight() const { return static_cast<int>(inFlight_.size()); }
    std::size_t bytesInFlight() const { return inFlightBytes_; }
    // Bookkeeping of the pipelining functions below.
    void sentAhead(std::size_t bytes);
    void replyRead();
    // Whether QUIT has gone ahead of replies still to be read (sendQuitAhead).
    bool quitSentAhead() const { return quitSentAhead_; }
    void markQuitSentAhead() { quitSentAhead_ = true; }

    ConnectionControl* control = nullptr;
    // Set once a send or a read failed (time-out, cancel, a closed or garbled connection): the
    // conversation is out of step, so every later command fails at once instead of waiting out
    // another time-out on a server that stopped answering.
    bool broken = false;
    // What the server said it can do in its CAPA reply (each line's first word, upper case),
    // learnt once per session; empty when it was not asked or did not answer.
    std::set<std::string> capabilities = {};
    // Set by the log-in when the server answered a negative reply to STLS or to a credential.
    LoginRefusal refusal = LoginRefusal::None;
    // The mechanisms of CAPA's SASL line, upper case, in the server's order.
    std::vector<std::string> saslMechanisms = {};
    // What the last successful log-in used: a SASL mechanism, "APOP" or "USER".
    std::string signedInWith = {};
    // Set while a SASL exchange sends its payloads: the trace shows them masked.
    bool sendingSaslPayload = false;
    // The response code of the last refused log-in ("AUTH", "SYS/TEMP", "IN-USE", ...); empty
    // when the refusal carried none.
    std::string refusalCode = {};

private:
    Socket socket_ = kInvalidSocket;
    std::unique_ptr<Transport> transport_;
    bool secured_ = false;
    // The length of each command in flight, oldest first.
    std::deque<std::size_t> inFlight_;
    std::size_t inFlightBytes_ = 0;
    bool quitSentAhead_ = false;
};

// Login results.
inline constexpr int kLoginOk = 1;
inline constexpr int kLoginNoConnection = -1;
inline constexpr int kLoginRefused = -2;

// Buffer sizes, terminating zero included.
inline constexpr int kCommandLineSize = 120;
inline constexpr int kApopLineSize = 256;
inline constexpr int kLoginBufferSize = 4096;
inline constexpr int kStatusBufferSize = 119;
inline constexpr int kTokenSize = 255;
inline constexpr std::size_t kTraceLimit = 117;
inline constexpr std::size_t kTimestampLimit = 199;
// Longest user name or password that fits its command line.
inline constexpr std::size_t kCredentialLimit = 112;

// True when text may go into a USER, PASS or APOP line as it is: it fits (kCredentialLimit) and
// holds no CR, LF or NUL, which would end the line early or smuggle in another command. The
// account editor asks the same before it keeps a user name or password.
bool isSendableCredential(std::string_view text);

// The host may be written "name:port" to reach a server on another port; without a port the
// remembered POP3 port is used. An IPv6 literal goes in brackets ("[::1]", "[::1]:1110"); written
// without them ("::1") it is taken whole as the name, with no port. "pop3s://name[:port]" secures
// the connection right after it is made (port 995 unless given); "pop3+stls://name[:port]" asks a
// plain connection to be secured with STLS before any credential is sent, and a server that refuses
// gives kLoginRefused. A connection that cannot be secured gives kLoginNoConnection with
// control.failureReason set. Both log-ins return kLoginOk, kLoginNoConnection (also for a bad port)
// or kLoginRefused (greeting or login refused or failed, or a user name or password that cannot be
// sent safely: CR, LF or NUL in it, or longer than kCredentialLimit); session.refusal then says
// whether the server refused STLS or a credential. On failure the session holds no connection
// (session.socket() is kInvalidSocket). Before the credentials (and after
// STLS) the log-in asks CAPA, so session.capabilities tells what the server can do from then on;
// with PIPELINING, USER and PASS go out together.
int pop3Login(Pop3Session& session, std::string_view host, std::string_view user,
              std::string_view password, ConnectionControl& control);
// Uses APOP when the greeting carries a time stamp, otherwise USER/PASS as fallback allows.
int pop3LoginApop(Pop3Session& session, std::string_view host, std::string_view user,
                  std::string_view password, ConnectionControl& control,
                  PlainPasswordFallback fallback = PlainPasswordFallback::SecuredOnly);
// The log-in as the two above make it, with the mechanism chosen from what the server offers
// (loginMechanisms): SASL AUTH (RFC 5034) where the server lists a mechanism that is stronger or
// needed (a bearer token), else APOP or USER/PASS. A mechanism that fails for a reason other than
// the credentials (no response code, and the conversation still in step) gives way to the next
// one in the same session. On kLoginRefused, control.failureReason says why in words when the
// server or the client knows: the response code of the refusal (RFC 2449, RFC 3206), no
// mechanism allowed, a server that could not prove it knows the password.
int pop3SignIn(Pop3Session& session, std::string_view host, const LoginRequest& request,
               ConnectionControl& control);

// The words for a refusal's response code ("-ERR [AUTH] ..."); empty for none or one not known.
std::string refusalReason(std::string_view reply);

// How far commands may run ahead of their replies with a server that pipelines: the window is
// full when either limit is reached. Sized for the whole command stream of a check of a few
// thousand messages, so that it goes out in one round trip. What the socket does not take at once
// waits in the channel's queue and goes out in the same polls that read the replies, so a server
// that stops reading until its replies are taken never meets a client that stops reading until
// its commands are taken.
inline constexpr int kPipelineCommands = 4096;
inline constexpr std::size_t kPipelineBytes = 64 * 1024;
// Whether one more command of length bytes fits the window now: with a server that does not
// pipeline, only when no command is in flight.
bool windowHasRoom(const Pop3Session& session, std::size_t length);
// Traces the line and queues it to go out while the replies are read; the caller reads its reply
// with the read functions below in the order the commands were queued. False on a broken
// session.
bool sendAhead(Pop3Session& session, std::string_view line);
// The replies of commands sent ahead (or with sendCommand): one status line, as readStatusReply;
// a LIST n reply with its size; a TOP reply with its body, as pop3Top.
bool readListReply(Pop3Session& session, long& size);
bool readTopReply(Pop3Session& session, char* buffer, int size, int* foldedAt = nullptr);
// STAT's reply, as pop3Stat reads it.
bool readStatReply(Pop3Session& session, long& count, long& octets);
// QUIT sent ahead behind the other commands in flight. pop3Quit then reads its reply once every
// reply before it has been read, and ends the conversation without reading when any is left.
bool sendQuitAhead(Pop3Session& session);

// The sizes of a whole mailbox, as one LIST reply gave them.
struct SizeListing {
    std::map<long, long> byNumber;
    // A line that is no "n size", or a number given twice.
    bool malformed = false;
};
// Most bytes a whole mailbox's LIST reply may take.
inline constexpr std::size_t kListReplyLimit = 32u * 1024 * 1024;
// LIST for the whole mailbox. False on a negative reply (the session goes on) or a failed read
// (session.broken is set). A listing of more than mostLines lines (when not negative; STAT's count,
// which the server must not exceed) is cut off there as malformed, which breaks the session since
// the rest of it stays unread, and sets control->overran.
bool pop3ListAll(Pop3Session& session, SizeListing& listing, long mostLines = -1);

// Message count and mailbox size; both 0 when the reply carries no numbers.
bool pop3Stat(Pop3Session& session, long& count, long& octets);
// Size of message number in octets; 0 when the reply carries no size.
bool pop3List(Pop3Session& session, long number, long& size);
// The first lines of a message: on success buffer holds every line after the status line up
// to and including the terminating ".", zero-terminated; dot-stuffed lines are left as sent.
// foldedAt, when given, tells where a reply too long for the buffer was cut (readUntil).
bool pop3Top(Pop3Session& session, long number, int lines, char* buffer, int size,
             int* foldedAt = nullptr);
bool pop3Dele(Pop3Session& session, long number);

// CAPA (RFC 2449): on success session.capabilities holds the names the server listed. A server
// that does not know the command answers "-ERR" and the session goes on.
bool pop3Capa(Pop3Session& session);

// The unique-ids of a whole mailbox, as one UIDL reply gave them.
struct UniqueIdListing {
    std::map<long, std::string> byNumber;
    // A line that is no "n unique-id" (RFC 1939: a message number, one space, 1 to 70 characters
    // from 0x21 to 0x7E), or a number given twice: the listing cannot be trusted as a whole.
    bool malformed = false;
};
// The longest unique-id RFC 1939 allows.
inline constexpr std::size_t kUniqueIdLimit = 70;
// Most bytes a whole mailbox's UIDL reply may take; a longer one fails the command (and the
// session, since the rest of it stays unread). Room for several hundred thousand messages.
inline constexpr std::size_t kUidlReplyLimit = 32u * 1024 * 1024;
// How long UIDL's status line is waited for at most, when the time-out is longer. Some servers
// never answer UIDL (their listing fails inside them) while everything else works: the caller
// then does without unique-ids rather than wait out a long time-out for nothing.
inline constexpr std::uint32_t kUidlAnswerSeconds = 10;
// UIDL for the whole mailbox, read line by line however long the mailbox. False on a negative
// reply (the session goes on) or a failed read (session.broken is set; control->timedOut when its
// status line did not come within kUidlAnswerSeconds). mostLines bounds the listing as in
// pop3ListAll.
bool pop3Uidl(Pop3Session& session, UniqueIdListing& listing, long mostLines = -1);
// The reply of a UIDL for the whole mailbox sent ahead, as pop3Uidl reads it.
bool readUidlReply(Pop3Session& session, UniqueIdListing& listing, long mostLines = -1);
// UIDL for one message: its unique-id, or false on a negative or malformed reply. Its status line
// is waited for as long as pop3Uidl waits.
bool pop3UidlOne(Pop3Session& session, long number, std::string& uniqueId);
// One line of a UIDL listing ("n unique-id", line end already taken off), or nothing.
std::optional<std::pair<long, std::string>> parseUniqueIdLine(std::string_view line);
bool pop3Quit(Pop3Session& session);

// The steps every command goes through.
// Traces the line (password masked) through the status callback, then sends all of it; while
// replies are still due it is queued behind the commands in flight instead, to go out as they
// are read. Returns the length sent or -1.
int sendCommand(Pop3Session& session, std::string_view line);
// Reads one status line; true only for a positive status ("+OK", any case).
bool readStatusReply(Pop3Session& session, char* buffer, int size);
// sendCommand, then readStatusReply unless the send failed.
bool transact(Pop3Session& session, std::string_view line, char* buffer, int size);

// Reply-end finders for readUntil.
int findStatusLineEnd(const char* buffer, int count, int argument);
int findTopBodyEnd(const char* buffer, int count, int argument);

// The next reply token of text from position on (leading white space, CR, LF, TAB and space
// skipped; at most kTokenSize - 1 characters); position moves past it.
std::string nextReplyToken(std::string_view text, std::size_t& position);
// The trace text of a command line: "PASS xxxx" when it contains "PASS", "AUTH mechanism xxxx"
// for an AUTH line with an initial response, else the line itself, cut to kTraceLimit characters.
std::string traceText(std::string_view line);
// The greeting's time stamp, from the first '<' through the first '>' after it, or nothing.
std::optional<std::string> apopTimestamp(std::string_view greeting);
// The APOP digest of a time stamp and a password: 32 lowercase hex digits.
std::string apopDigest(std::string_view timestamp, std::string_view password);

// The host part and port of an account's host text. port is 0 when the text names none; nothing
// when the port is not all digits or outside 1..65535. "[literal]" and "[literal]:port" give the
// IPv6 literal without its brackets (nothing when the brackets hold no IPv6 literal or something
// other than ":port" follows them); a text with more than one colon and no brackets is an IPv6
// literal with no port, taken whole as the name.
struct HostAndPort {
    std::string name;
    int port = 0;
};
std::optional<HostAndPort> splitHostAndPort(std::string_view host);

// How an account's connection is secured, as its host text says.
enum class Security { None, Tls, StartTls };
inline constexpr int kPop3sPort = 995;

// The host text with its scheme: the security, then the name and port as splitHostAndPort gives
// them. Nothing for an unknown scheme, an empty name or a bad port.
struct ServerAddress {
    Security security = Security::None;
    HostAndPort target;
};
std::optional<ServerAddress> parseServerAddress(std::string_view host);

// The port a connection with this security goes to when its host text names none: kPop3sPort
// for TLS, else the POP3 port.
int defaultServerPort(Security security);
// The port a host text stands for: the one it names, else the default of its security.
int serverPort(const ServerAddress& address);
// A port written on its own: all digits (leading zeros allowed), 1..65535.
std::optional<int> parsePort(std::string_view digits);
// The host text for a security, a server name and a port: the scheme ("pop3s://" or
// "pop3+stls://", none for a plain connection), the name, and ":port" only when the port differs
// from defaultServerPort(security). An IPv6 literal is written in brackets. Nothing when the text
// would not parse back to the same three: a name with a colon in it that is no IPv6 literal (the
// colon would be the port's separator), an empty name with a scheme, a bad port.
std::optional<std::string> formatServerAddress(Security security, std::string_view name, int port);

// The POP3 port: looked up once per run in the services database, else 110.
int pop3Port();

} // namespace toppeek::mail

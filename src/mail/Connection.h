#pragma once

// Outgoing TCP connections for the POP3 client: non-blocking sockets whose every wait is a
// sequence of short passes, each of which runs the idle step and asks the operation's cancel
// query, so that a waiting operation never freezes the window and stops within one pass.

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace toppeek::mail {

using Socket = int;
inline constexpr Socket kInvalidSocket = -1;

// IPv4 address in network byte order. 0xFFFFFFFF means "no address" (and so the broadcast
// address 255.255.255.255 counts as a failure too).
using Ipv4Address = std::uint32_t;
inline constexpr Ipv4Address kNoAddress = 0xFFFFFFFFu;

// One address of a host, IPv4 or IPv6, as the connection layer connects to it.
struct IpAddress {
    enum class Family : std::uint8_t { V4, V6 };
    Family family = Family::V4;
    // In network order: the first 4 bytes for IPv4, all 16 for IPv6.
    std::array<std::uint8_t, 16> bytes{};
    // The interface of a link-local IPv6 address written with a zone ("fe80::1%eth0"); else 0.
    std::uint32_t scope = 0;

    static IpAddress fromIpv4(Ipv4Address networkOrder);
    friend bool operator==(const IpAddress&, const IpAddress&) = default;
};
// A host's addresses in the order they are tried.
using AddressList = std::vector<IpAddress>;

// The address written as text: dotted for IPv4, RFC 5952 form for IPv6 (no brackets).
std::string addressText(const IpAddress& address);
// An IPv6 literal ("::1", "2001:db8::1", "fe80::1%eth0"; no brackets), or nothing.
std::optional<IpAddress> parseIpv6Literal(std::string_view text);

// The flag of recvTimed that copies waiting bytes without taking them from the socket
// (the value of MSG_PEEK).
inline constexpr int kPeek = 2;

enum class ConnectStatus : int {
    Resolving = 1,   // statusText: the host name being looked up
    Connecting = 2,  // statusText: unchanged
    Connected = 3,   // statusText: the remote address (addressText); port: the remote port
    CommandSent = 7, // statusText: the command line as traced, password masked
    Securing = 8,    // statusText: the whole line to show ("Securing connection…", then the
                     // protocol and cipher once the connection is secured)
};

// A server's certificate that failed the check, as the user is shown it to decide whether to
// trust it anyway.
struct ServerCertificate {
    // The server it came from: the name as the account writes it (an IPv6 address without
    // brackets) and the port.
    std::string host;
    int port = 0;
    // The SHA-256 digest of the certificate (its DER bytes), as 64 lowercase hex digits.
    std::string sha256;
    // One line each, as OpenSSL writes names ("CN=mail.example.com, O=Example").
    std::string subject;
    std::string issuer;
    // The end of its validity, as "2027-03-01 12:00:00 UTC".
    std::string expires;
    // Why the check refused it, in one line.
    std::string failure;
};

// A certificate the user chose to trust for one server although the check refuses it: only that
// certificate (by its digest), only on that host name and port.
struct TrustedCertificate {
    std::string host;
    int port = 0;
    std::string sha256;
    friend bool operator==(const TrustedCertificate&, const TrustedCertificate&) = default;
};

// One per mailbox operation; the operation fills it in and hands it down to every call.
struct ConnectionControl {
    // Set by the layer when a connection is made: the remote port, for the status display.
    int port = 0;
    // Set before each status notification; meaningful only during the notification.
    std::string statusText;
    // Called after each status change; may be empty.
    std::function<void(ConnectionControl&)> statusCallback;
    // How many connection attempts connectToHost makes (0 or less: none).
    int connectTries = 1;
    // Limit of each single wait, in whole seconds (see isTimedOut).
    std::uint32_t timeoutSeconds = 120;
    // When false, waits never time out.
    bool timeoutEnabled = true;
    // The last status reported; zero until the first report.
    ConnectStatus status{};
    // Asked on every pass of every wait; true means stop now. May be empty (never stop).
    std::function<bool(ConnectionControl&)> cancelQuery;
    // Why the last connection could not be made, in one line, when the layer knows better than
    // "no connection" (a certificate that failed verification, say); empty otherwise.
    std::string failureReason;
    // Set when a wait gave up because its time-out passed, so that a caller can tell a server
    // that stopped answering from a connection that was closed; never cleared by the layer.
    bool timedOut = false;
    // The limit of the whole operation beside each wait's own: a server that sends a byte now and
    // then, each within the time-out, would otherwise hold the operation for ever. Every wait and
    // every read of a long reply gives up once it has passed. None when empty.
    std::optional<std::chrono::steady_clock::time_point> deadline;
    // Set when something gave up because the deadline had passed; never cleared by the layer.
    bool deadlinePassed = false;
    // Set when a reply was given up because it ran past what a mail server sends (a line or a
    // listing without end); never cleared by the layer.
    bool overran = false;
    // Certificates the user trusts although the check refuses them.
    std::vector<TrustedCertificate> trustedCertificates;
    // Set when a secure connection failed because the server's certificate did not pass the
    // check (and is not among the trusted ones); cleared at the start of each secure connection.
    std::optional<ServerCertificate> refusedCertificate;
};

// True, and remembered in the control, once the control's deadline has passed.
bool pastDeadline(ConnectionControl* control);

// Runs once in every pass of every wait. The default does nothing; the user interface installs
// one that processes pending window events. Install it before an operation starts, on the
// thread that runs the operations; an empty function restores the default. Each thread has its
// own: waits on other threads (the settings discovery's probes) never run it.
using IdleStep = std::function<void()>;
void setIdleStep(IdleStep step);
// Runs the idle step when it has not run for a few milliseconds. The waits run it in every pass,
// but a long reply whose bytes are always there already never waits: its reader calls this as
// it goes, so that the window keeps answering however fast the bytes come.
void idleStepIfDue();

// Turns a host name into its addresses in the order they are to be tried; none on failure. Used
// instead of the system lookup when set; meant for tests. It runs on a helper thread. An empty
// function restores the system lookup (getaddrinfo for any address family, in its order).
using NameLookup = std::function<AddressList(const std::string& name)>;
void setNameLookup(NameLookup lookup);

// Creates the process-wide host cache; calling it again does nothing.
void startConnectionLayer();
// Frees the host cache. Lookups still running are abandoned; their answers are dropped.
void stopConnectionLayer();

// Dotted IPv4 addresses and IPv6 literals (a name with a colon, without brackets) are converted
// directly; other names are looked up once and then answered from the host cache. The lookup
// runs on a helper thread while this wait keeps running idle steps and watching cancel and
// time-out. Returns no address on failure or cancel.
AddressList resolveHost(std::string_view name, ConnectionControl* control);

// Resolves the name and makes up to control.connectTries attempts, each trying the addresses in
// turn. Returns a connected, non-blocking socket or kInvalidSocket.
Socket connectToHost(std::string_view name, int port, ConnectionControl& control);
// Tries the addresses in order until one connects: one refused or unreachable moves on to the
// next at once. All of them share one clock, so the whole sequence ends within one time-out.
// Returns a connected, non-blocking socket or kInvalidSocket.
Socket connectToAny(const AddressList& addresses, int port, ConnectionControl* control);
Socket openConnection(const IpAddress& address, int port, ConnectionControl* control);

// Waits until the socket is readable, then receives once. Returns the bytes received (> 0),
// 0 when the peer closed or size is 0, -1 on failure, time-out or cancel. flags: 0 or kPeek.
int recvTimed(Socket socket, char* buffer, int size, int flags, ConnectionControl* control);
// Waits until the socket is writable, then sends once. Returns bytes sent or -1.
int sendTimed(Socket socket, const char* data, int length, int flags, ConnectionControl* control);
// Sends all of data in pieces of at most chunk bytes. Returns length or -1.
int sendAll(Socket socket, const char* data, int length, int chunk, ConnectionControl* control);

// Given the buffer and how many bytes it holds, returns 0 while the reply is incomplete, else
// the offset just past the reply's end.
using ReplyEndFinder = int (*)(const char* buffer, int count, int argument);

// Reads exactly one reply (as told by the finder) into buffer and zero-terminates it; bytes
// after the reply's end stay in the socket. A reply longer than size - 1 bytes keeps its first
// (size - 1) / 2 bytes and its tail, joined by a space, and fails when it has not ended within one
// time-out of its start (each wait still has its own clock, so a slow reply that fits is never cut
// short). True when a complete reply was read. foldedAt, when given, is set to the offset of the
// joining space of such a reply, or -1 when the reply fitted.
bool readUntil(Socket socket, char* buffer, int size, ReplyEndFinder finder, int argument,
               ConnectionControl* control, int* foldedAt = nullptr);

// Where the bytes of a connection go through: the socket itself or a secure channel over it.
// Both keep the layer's waiting rules (idle step, cancel query and time-out on every pass).
//
// Commands may also run ahead of their replies: bytes queued with queue() go out while receive
// waits, in the same passes that wait for the replies, so the client never sits in a send while
// the server's replies pile up unread (which, with both sides' buffers full, would be a deadlock).
class Transport {
public:
    virtual ~Transport() = default;
    // As recvTimed: bytes received (> 0), 0 when the peer closed or size is 0, -1 on failure,
    // time-out or cancel. flags: 0 or kPeek. Queued bytes are sent as the socket takes them.
    virtual int receive(char* buffer, int size, int flags, ConnectionControl* control) = 0;
    // As sendTimed: bytes sent or -1. Only when nothing is queued, else the order would change.
    virtual int send(const char* data, int length, ConnectionControl* control) = 0;

    // Adds bytes to go out with the next reads, after those queued before.
    void queue(std::string_view bytes);
    // Queued bytes not yet sent.
    std::size_t queuedBytes() const { return outgoing_.size() - outgoingSent_; }

    // What binds a SASL exchange to this channel (RFC 5929, RFC 9266): the binding's name
    // ("tls-exporter", "tls-unique") and its bytes. Nothing for a channel that is not secured.
    struct Binding {
        std::string type;
        std::string data;
    };
    virtual std::optional<Binding> channelBinding() const { return std::nullopt; }

protected:
    // Sends what the connection takes now of data, without waiting: the bytes taken (0 when it
    // takes none at the moment), or -1 on failure.
    virtual int sendNow(const char* data, int length) = 0;
    // Sends what the connection takes now of the queued bytes. False on failure.
    bool flushQueued();

private:
    std::string outgoing_;
    std::size_t outgoingSent_ = 0;
};

// The socket as it is.
class PlainTransport final : public Transport {
public:
    explicit PlainTransport(Socket socket) : socket_(socket) {}
    int receive(char* buffer, int size, int flags, ConnectionControl* control) override;
    int send(const char* data, int length, ConnectionControl* control) override;

protected:
    int sendNow(const char* data, int length) override;

private:
    Socket socket_;
};

int sendAll(Transport& transport, const char* data, int length, int chunk,
            ConnectionControl* control);
bool readUntil(Transport& transport, char* buffer, int size, ReplyEndFinder finder, int argument,
               ConnectionControl* control, int* foldedAt = nullptr);

// One pass of a wait as every wait of this layer makes them, for transports of their own: waits
// a moment for the socket to become readable (or writable), runs the idle step, then asks the
// cancel query and the time-out of the wait that began at startSecond. Returns 1 when the
// socket is ready (or in error, which the next call on it will tell), 0 when another pass is
// needed, -1 when the wait must stop.
int waitPass(Socket socket, bool forWriting, ConnectionControl* control, std::uint32_t startSecond);
// As waitPass, waiting for the socket to become readable, or writable as well when alsoWritable.
int waitPassEither(Socket socket, bool alsoWritable, ConnectionControl* control,
                   std::uint32_t startSecond);
// True when the control's cancel query says stop.
bool stopRequested(ConnectionControl* control);

// Linux leaves TCP's quick-acknowledgement mode on its own, after which a reply a server writes in
// several pieces waits for our delayed acknowledgement between them. Every read, plain or through
// TLS, sets the mode again. Switching the re-arming off is for the benchmark, which measures what
// it saves; it is on unless switched off.
void rearmQuickAck(Socket socket);
void setQuickAckAfterReads(bool on);

// Abortive close: unsent data is discarded and the connection reset. Ignores kInvalidSocket.
void closeConnection(Socket socket);

// Whole seconds of a monotonic clock, in unsigned 32-bit arithmetic.
std::uint32_t nowSeconds();
// True when the control's time-out is enabled and more than timeoutSeconds whole seconds have
// passed since startSecond. A missing control never times out.
bool isTimedOut(const ConnectionControl* control, std::uint32_t startSecond);

} // namespace toppeek::mail

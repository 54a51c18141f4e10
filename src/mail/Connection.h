#pragma once

// Outgoing TCP connections for the POP3 client: non-blocking sockets whose every wait is a
// sequence of short passes, each of which runs the idle step and asks the operation's cancel
// query, so that a waiting operation never freezes the window and stops within one pass.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace toppeek::mail {

using Socket = int;
inline constexpr Socket kInvalidSocket = -1;

// IPv4 address in network byte order. 0xFFFFFFFF means "no address" (and so the broadcast
// address 255.255.255.255 counts as a failure too).
using Ipv4Address = std::uint32_t;
inline constexpr Ipv4Address kNoAddress = 0xFFFFFFFFu;

// The flag of recvTimed that copies waiting bytes without taking them from the socket
// (the value of MSG_PEEK).
inline constexpr int kPeek = 2;

enum class ConnectStatus : int {
    Resolving = 1,   // statusText: the host name being looked up
    Connecting = 2,  // statusText: unchanged
    Connected = 3,   // statusText: the remote address, dotted; port: the remote port
    CommandSent = 7, // statusText: the command line as traced, password masked
    Securing = 8,    // statusText: the whole line to show ("Securing connection…", then the
                     // protocol and cipher once the connection is secured)
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
};

// Runs once in every pass of every wait. The default does nothing; the user interface installs
// one that processes pending window events. Install it before an operation starts, on the
// thread that runs the operations; an empty function restores the default.
using IdleStep = std::function<void()>;
void setIdleStep(IdleStep step);

// Turns a host name into an IPv4 address (network order), or kNoAddress. Used instead of the
// system lookup when set; meant for tests. It runs on a helper thread. An empty function
// restores the system lookup (getaddrinfo, IPv4).
using NameLookup = std::function<Ipv4Address(const std::string& name)>;
void setNameLookup(NameLookup lookup);

// Creates the process-wide host cache; calling it again does nothing.
void startConnectionLayer();
// Frees the host cache. Lookups still running are abandoned; their answers are dropped.
void stopConnectionLayer();

// Dotted addresses are converted directly; other names are looked up once and then answered
// from the host cache. The lookup runs on a helper thread while this wait keeps running idle
// steps and watching cancel and time-out. Returns kNoAddress on failure or cancel.
Ipv4Address resolveHost(std::string_view name, ConnectionControl* control);

// Resolves the name and makes up to control.connectTries attempts. Returns a connected,
// non-blocking socket or kInvalidSocket.
Socket connectToHost(std::string_view name, int port, ConnectionControl& control);
Socket openConnection(Ipv4Address address, int port, ConnectionControl* control);

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
// short). True when a complete reply was read.
bool readUntil(Socket socket, char* buffer, int size, ReplyEndFinder finder, int argument,
               ConnectionControl* control);

// Where the bytes of a connection go through: the socket itself or a secure channel over it.
// Both keep the layer's waiting rules (idle step, cancel query and time-out on every pass).
class Transport {
public:
    virtual ~Transport() = default;
    // As recvTimed: bytes received (> 0), 0 when the peer closed or size is 0, -1 on failure,
    // time-out or cancel. flags: 0 or kPeek.
    virtual int receive(char* buffer, int size, int flags, ConnectionControl* control) = 0;
    // As sendTimed: bytes sent or -1.
    virtual int send(const char* data, int length, ConnectionControl* control) = 0;
};

// The socket as it is.
class PlainTransport final : public Transport {
public:
    explicit PlainTransport(Socket socket) : socket_(socket) {}
    int receive(char* buffer, int size, int flags, ConnectionControl* control) override;
    int send(const char* data, int length, ConnectionControl* control) override;

private:
    Socket socket_;
};

int sendAll(Transport& transport, const char* data, int length, int chunk,
            ConnectionControl* control);
bool readUntil(Transport& transport, char* buffer, int size, ReplyEndFinder finder, int argument,
               ConnectionControl* control);

// One pass of a wait as every wait of this layer makes them, for transports of their own: waits
// a moment for the socket to become readable (or writable), runs the idle step, then asks the
// cancel query and the time-out of the wait that began at startSecond. Returns 1 when the
// socket is ready (or in error, which the next call on it will tell), 0 when another pass is
// needed, -1 when the wait must stop.
int waitPass(Socket socket, bool forWriting, ConnectionControl* control, std::uint32_t startSecond);
// True when the control's cancel query says stop.
bool stopRequested(ConnectionControl* control);

// Abortive close: unsent data is discarded and the connection reset. Ignores kInvalidSocket.
void closeConnection(Socket socket);

// Whole seconds of a monotonic clock, in unsigned 32-bit arithmetic.
std::uint32_t nowSeconds();
// True when the control's time-out is enabled and more than timeoutSeconds whole seconds have
// passed since startSecond. A missing control never times out.
bool isTimedOut(const ConnectionControl* control, std::uint32_t startSecond);

} // namespace toppeek::mail

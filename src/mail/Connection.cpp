#include "mail/Connection.h"

#include "core/Ascii.h"
#include "mail/HostCache.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <memory>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace toppeek::mail {

using core::isAsciiLetter;

static_assert(kPeek == MSG_PEEK);

namespace {

std::unique_ptr<HostCache> gHostCache;
// Each thread has its own: the user interface installs one that processes its window events, which
// a look-up running on a helper thread must never run.
thread_local IdleStep gIdleStep;
NameLookup gNameLookup;
std::atomic<bool> gQuickAckAfterReads{true};
// When the idle step last ran, for idleStepIfDue.
std::chrono::steady_clock::time_point gLastIdleStep;

// How long a reader of a reply whose bytes keep coming may go without running the idle step: well
// inside the 50 ms within which a window must answer, with room for the step itself.
constexpr auto kIdleStepInterval = std::chrono::milliseconds(10);

// Longest a pass waits for readiness: short enough that a cancel is seen at once and the idle
// step runs often, long enough that a waiting operation uses next to no processor time.
constexpr int kPassMilliseconds = 1;

bool cancelRequested(ConnectionControl* control) {
    return control != nullptr && control->cancelQuery && control->cancelQuery(*control);
}

// isTimedOut or the operation's deadline, remembered in the control when one says yes.
bool waitTimedOut(ConnectionControl* control, std::uint32_t startSecond) {
    if (pastDeadline(control)) {
        return true;
    }
    if (!isTimedOut(control, startSecond)) {
        return false;
    }
    control->timedOut = true;
    return true;
}

void runIdleStep() {
    gLastIdleStep = std::chrono::steady_clock::now();
    if (gIdleStep) {
        gIdleStep();
    }
}

void report(ConnectionControl& control, ConnectStatus status) {
    control.status = status;
    if (control.statusCallback) {
        control.statusCallback(control);
    }
}

// Waits one pass for the events. Returns the events that occurred, 0 when none did, -1 when
// the socket cannot be polled.
int waitOnePass(Socket socket, short events) {
    pollfd entry{socket, events, 0};
    int ready = ::poll(&entry, 1, kPassMilliseconds);
    if (ready < 0) {
        return errno == EINTR ? 0 : -1;
    }
    if (ready == 0) {
        return 0;
    }
    if ((entry.revents & POLLNVAL) != 0) {
        return -1;
    }
    return entry.revents;
}

bool retryable(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

void keepQuickAck(Socket socket) {
    int on = 1;
    ::setsockopt(socket, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
}

// A command is one whole line written at once, so Nagle's algorithm has nothing to gather; it
// only holds a command written while an earlier segment is unacknowledged (the last of a TLS
// handshake, say) until the server's delayed acknowledgement comes, some 40 ms later.
void sendAtOnce(Socket socket) {
    int on = 1;
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

void applySocketSettings(Socket socket) {
    int off = 0;
    int bufferSize = 8192;
    linger abortive{1, 0};
    ::setsockopt(socket, SOL_SOCKET, SO_DEBUG, &off, sizeof off);
    ::setsockopt(socket, SOL_SOCKET, SO_DONTROUTE, &off, sizeof off);
    ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &off, sizeof off);
    ::setsockopt(socket, SOL_SOCKET, SO_SNDBUF, &bufferSize, sizeof bufferSize);
    ::setsockopt(socket, SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize);
    ::setsockopt(socket, SOL_SOCKET, SO_KEEPALIVE, &off, sizeof off);
    ::setsockopt(socket, SOL_SOCKET, SO_OOBINLINE, &off, sizeof off);
    ::setsockopt(socket, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    keepQuickAck(socket);
    sendAtOnce(socket);
}

bool setNonBlocking(Socket socket) {
    int flags = ::fcntl(socket, F_GETFL, 0);
    return flags >= 0 && ::fcntl(socket, F_SETFL, flags | O_NONBLOCK) == 0;
}

std::optional<IpAddress> addressOf(const sockaddr* address) {
    if (address == nullptr) {
        return std::nullopt;
    }
    IpAddress result;
    if (address->sa_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
        std::memcpy(result.bytes.data(), &v4->sin_addr, sizeof v4->sin_addr);
        return result;
    }
    if (address->sa_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
        result.family = IpAddress::Family::V6;
        std::memcpy(result.bytes.data(), &v6->sin6_addr, sizeof v6->sin6_addr);
        result.scope = v6->sin6_scope_id;
        return result;
    }
    return std::nullopt;
}

// Every address of the name, of either family, in the order the system ranks them (RFC 6724),
// each once.
AddressList lookUp(const std::string& name, int flags) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = flags;
    addrinfo* found = nullptr;
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        return {};
    }
    AddressList addresses;
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        std::optional<IpAddress> address = addressOf(entry->ai_addr);
        if (address && std::find(addresses.begin(), addresses.end(), *address) == addresses.end()) {
            addresses.push_back(*address);
        }
    }
    ::freeaddrinfo(found);
    return addresses;
}

AddressList systemLookup(const std::string& name) {
    return lookUp(name, 0);
}

// Runs the lookup on a helper thread so that the wait can keep the window alive and notice a
// cancel. An abandoned lookup finishes on its own; its answer is dropped.
AddressList lookUpWhileWaiting(const std::string& name, ConnectionControl* control) {
    NameLookup lookup = gNameLookup ? gNameLookup : NameLookup(systemLookup);
    auto answer = std::make_shared<std::promise<AddressList>>();
    std::future<AddressList> pending = answer->get_future();
    try {
        std::thread([answer, lookup, name] {
            AddressList addresses;
            try {
                addresses = lookup(name);
            } catch (...) {
            }
            answer->set_value(std::move(addresses));
        }).detach();
    } catch (const std::system_error&) {
        return lookup(name);
    }

    std::uint32_t start = nowSeconds();
    for (;;) {
        bool done = pending.wait_for(std::chrono::milliseconds(kPassMilliseconds)) ==
                    std::future_status::ready;
        runIdleStep();
        if (cancelRequested(control) || waitTimedOut(control, start)) {
            return {};
        }
        if (done) {
            return pending.get();
        }
    }
}

// Connects the non-blocking socket, within the time-out of the wait that began at start. A
// cancel ends the wait as a failure.
bool waitForConnect(Socket socket, const sockaddr* address, socklen_t length,
                    ConnectionControl* control, std::uint32_t start) {
    if (::connect(socket, address, length) == 0) {
        return true;
    }
    if (errno != EINPROGRESS && errno != EINTR) {
        return false;
    }
    for (;;) {
        int ready = waitOnePass(socket, POLLOUT);
        runIdleStep();
        if (cancelRequested(control) || waitTimedOut(control, start) || ready < 0) {
            return false;
        }
        if (ready > 0) {
            int error = 0;
            socklen_t length = sizeof error;
            if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0 ||
                (ready & (POLLERR | POLLHUP)) != 0) {
                return false;
            }
            if ((ready & POLLOUT) != 0) {
                return true;
            }
        }
    }
}

// Takes count bytes that a peek has shown to be waiting.
// When a long reply folds its buffer (see readUntil), the bytes carried over from before the
// fold: one less than the longest reply end a finder looks for ("\n.\r\n").
constexpr int kFoldCarry = 3;
// Put between the kept first half and the rest of a folded reply; no reply end contains it.
constexpr char kFoldSeparator = ' ';

bool take(Transport& transport, char* buffer, int count, ConnectionControl* control) {
    while (count > 0) {
        int received = transport.receive(buffer, count, 0, control);
        if (received <= 0) {
            return false;
        }
        buffer += received;
        count -= received;
    }
    return true;
}

// The socket address of address and port.
socklen_t socketAddressOf(const IpAddress& address, int port, sockaddr_storage& storage) {
    storage = {};
    const auto networkPort = htons(static_cast<std::uint16_t>(port));
    if (address.family == IpAddress::Family::V6) {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = networkPort;
        std::memcpy(&v6->sin6_addr, address.bytes.data(), sizeof v6->sin6_addr);
        v6->sin6_scope_id = address.scope;
        return sizeof *v6;
    }
    auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
    v4->sin_family = AF_INET;
    v4->sin_port = networkPort;
    std::memcpy(&v4->sin_addr, address.bytes.data(), sizeof v4->sin_addr);
    return sizeof *v4;
}

Socket openConnectionWithin(const IpAddress& address, int port, ConnectionControl* control,
                            std::uint32_t start) {
    if (port < 1 || port > 65535) {
        return kInvalidSocket;
    }
    const int family = address.family == IpAddress::Family::V6 ? AF_INET6 : AF_INET;
    Socket socket = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (socket < 0) {
        return kInvalidSocket;
    }
    applySocketSettings(socket);
    if (!setNonBlocking(socket)) {
        closeConnection(socket);
        return kInvalidSocket;
    }
    if (control != nullptr) {
        report(*control, ConnectStatus::Connecting);
    }

    sockaddr_storage remote{};
    const socklen_t length = socketAddressOf(address, port, remote);
    if (!waitForConnect(socket, reinterpret_cast<const sockaddr*>(&remote), length, control,
                        start)) {
        closeConnection(socket);
        return kInvalidSocket;
    }
    if (control != nullptr) {
        control->statusText = addressText(address);
        control->port = port;
        report(*control, ConnectStatus::Connected);
    }
    return socket;
}

} // namespace

IpAddress IpAddress::fromIpv4(Ipv4Address networkOrder) {
    IpAddress address;
    std::memcpy(address.bytes.data(), &networkOrder, sizeof networkOrder);
    return address;
}

std::string addressText(const IpAddress& address) {
    char text[INET6_ADDRSTRLEN] = {};
    const int family = address.family == IpAddress::Family::V6 ? AF_INET6 : AF_INET;
    if (::inet_ntop(family, address.bytes.data(), text, sizeof text) == nullptr) {
        return {};
    }
    return text;
}

std::optional<IpAddress> parseIpv6Literal(std::string_view text) {
    // Brackets, spaces and NULs are no part of a literal, though getaddrinfo might pass some.
    if (text.find_first_of(std::string_view("[] \0", 4)) != std::string_view::npos ||
        text.find(':') == std::string_view::npos) {
        return std::nullopt;
    }
    // A numeric lookup never waits for the network; it also reads a zone into the scope.
    addrinfo hints{};
    hints.ai_family = AF_INET6;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* found = nullptr;
    const std::string name(text);
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        return std::nullopt;
    }
    std::optional<IpAddress> address = addressOf(found->ai_addr);
    ::freeaddrinfo(found);
    return address;
}

void rearmQuickAck(Socket socket) {
    if (gQuickAckAfterReads.load(std::memory_order_relaxed)) {
        keepQuickAck(socket);
    }
}

void setQuickAckAfterReads(bool on) {
    gQuickAckAfterReads = on;
}

void setIdleStep(IdleStep step) {
    gIdleStep = std::move(step);
}

void idleStepIfDue() {
    if (std::chrono::steady_clock::now() - gLastIdleStep >= kIdleStepInterval) {
        runIdleStep();
    }
}

bool pastDeadline(ConnectionControl* control) {
    if (control == nullptr || !control->deadline) {
        return false;
    }
    if (!control->deadlinePassed && std::chrono::steady_clock::now() >= *control->deadline) {
        control->deadlinePassed = true;
    }
    return control->deadlinePassed;
}

void setNameLookup(NameLookup lookup) {
    gNameLookup = std::move(lookup);
}

void startConnectionLayer() {
    if (!gHostCache) {
        gHostCache = std::make_unique<HostCache>();
    }
}

void stopConnectionLayer() {
    gHostCache.reset();
}

HostCache* processHostCache() {
    return gHostCache.get();
}

std::optional<AddressList> HostCache::lookup(std::string_view name) const {
    std::lock_guard lock(mutex_);
    auto hit = std::find_if(entries_.begin(), entries_.end(),
                            [name](const Entry& entry) { return entry.name == name; });
    if (hit == entries_.end()) {
        return std::nullopt;
    }
    return hit->addresses;
}

void HostCache::insert(std::string_view name, AddressList addresses) {
    std::lock_guard lock(mutex_);
    if (entries_.size() < kCapacity) {
        entries_.push_back(Entry{std::string(name), std::move(addresses)});
    } else {
        entries_.front() = Entry{std::string(name), std::move(addresses)};
    }
}

std::size_t HostCache::size() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

std::optional<std::string> HostCache::nameAt(std::size_t index) const {
    std::lock_guard lock(mutex_);
    if (index >= entries_.size()) {
        return std::nullopt;
    }
    return entries_[index].name;
}

AddressList resolveHost(std::string_view name, ConnectionControl* control) {
    std::string host(name);
    if (control != nullptr) {
        control->statusText = host;
        report(*control, ConnectStatus::Resolving);
    }
    if (host.find('\0') != std::string::npos) {
        return {};
    }

    // A name with a colon can only be an IPv6 literal: no host name has one.
    if (host.find(':') != std::string::npos) {
        std::optional<IpAddress> literal = parseIpv6Literal(host);
        return literal ? AddressList{*literal} : AddressList{};
    }

    // A name whose last label does not start with a letter may be a dotted address.
    std::size_t dot = host.rfind('.');
    std::size_t probe = dot == std::string::npos ? 0 : dot + 1;
    if (probe >= host.size() || !isAsciiLetter(host[probe])) {
        in_addr_t address = ::inet_addr(host.c_str());
        if (address != kNoAddress) {
            return {IpAddress::fromIpv4(address)};
        }
    }

    HostCache* cache = gHostCache.get();
    if (cache != nullptr) {
        std::optional<AddressList> hit = cache->lookup(host);
        if (hit && !hit->empty()) {
            return *hit;
        }
    }
    if (cancelRequested(control)) {
        return {};
    }
    AddressList addresses = lookUpWhileWaiting(host, control);
    // The cache may have been freed while the lookup ran.
    cache = gHostCache.get();
    if (!addresses.empty() && cache != nullptr) {
        cache->insert(host, addresses);
    }
    return addresses;
}

Socket connectToHost(std::string_view name, int port, ConnectionControl& control) {
    AddressList addresses = resolveHost(name, &control);
    if (addresses.empty()) {
        return kInvalidSocket;
    }
    Socket result = kInvalidSocket;
    for (int tries = 0;
         !cancelRequested(&control) && result == kInvalidSocket && tries < control.connectTries;
         ++tries) {
        result = connectToAny(addresses, port, &control);
    }
    return result;
}

Socket connectToAny(const AddressList& addresses, int port, ConnectionControl* control) {
    const std::uint32_t start = nowSeconds();
    for (std::size_t index = 0; index < addresses.size(); ++index) {
        // The attempt before may have ended on a cancel or on the shared time-out.
        if (index > 0 && (cancelRequested(control) || waitTimedOut(control, start))) {
            break;
        }
        Socket socket = openConnectionWithin(addresses[index], port, control, start);
        if (socket != kInvalidSocket) {
            return socket;
        }
    }
    return kInvalidSocket;
}

Socket openConnection(const IpAddress& address, int port, ConnectionControl* control) {
    return openConnectionWithin(address, port, control, nowSeconds());
}

int recvTimed(Socket socket, char* buffer, int size, int flags, ConnectionControl* control) {
    if (cancelRequested(control)) {
        return -1;
    }
    // In lock-step POP3 the bytes are usually waiting already (always for the take that
    // follows a peek), so try once before polling: a wasted poll per read is a large share of
    // an exchange on loopback. The idle step still runs whenever the read has to wait.
    if (size > 0) {
        ssize_t received =
            ::recv(socket, buffer, static_cast<std::size_t>(size), flags | MSG_DONTWAIT);
        if (received >= 0 || !retryable(errno)) {
            rearmQuickAck(socket);
            return static_cast<int>(received);
        }
    }
    std::uint32_t start = nowSeconds();
    for (;;) {
        int ready = size > 0 ? waitOnePass(socket, POLLIN) : 0;
        runIdleStep();
        if (cancelRequested(control) || waitTimedOut(control, start)) {
            return -1;
        }
        if (size == 0) {
            return 0;
        }
        if (size < 0 || ready < 0) {
            return -1;
        }
        if (ready > 0) {
            ssize_t received = ::recv(socket, buffer, static_cast<std::size_t>(size), flags);
            if (received < 0 && retryable(errno)) {
                continue;
            }
            rearmQuickAck(socket);
            return static_cast<int>(received);
        }
    }
}

int sendTimed(Socket socket, const char* data, int length, int flags, ConnectionControl* control) {
    if (length < 0) {
        return -1;
    }
    std::uint32_t start = nowSeconds();
    for (;;) {
        int ready = waitOnePass(socket, POLLOUT);
        runIdleStep();
        if (cancelRequested(control) || waitTimedOut(control, start) || ready < 0) {
            return -1;
        }
        if (ready > 0) {
            ssize_t sent =
                ::send(socket, data, static_cast<std::size_t>(length), flags | MSG_NOSIGNAL);
            if (sent < 0 && retryable(errno)) {
                continue;
            }
            return static_cast<int>(sent);
        }
    }
}

void Transport::queue(std::string_view bytes) {
    if (outgoingSent_ == outgoing_.size()) {
        outgoing_.clear();
        outgoingSent_ = 0;
    }
    outgoing_.append(bytes);
}

bool Transport::flushQueued() {
    while (outgoingSent_ < outgoing_.size()) {
        const int left =
            static_cast<int>(std::min<std::size_t>(outgoing_.size() - outgoingSent_, INT_MAX));
        int sent = sendNow(outgoing_.data() + outgoingSent_, left);
        if (sent < 0) {
            return false;
        }
        if (sent == 0) {
            return true;
        }
        outgoingSent_ += static_cast<std::size_t>(sent);
    }
    outgoing_.clear();
    outgoingSent_ = 0;
    return true;
}

int PlainTransport::receive(char* buffer, int size, int flags, ConnectionControl* control) {
    if (queuedBytes() == 0) {
        return recvTimed(socket_, buffer, size, flags, control);
    }
    if (size < 0 || cancelRequested(control)) {
        return -1;
    }
    const std::uint32_t start = nowSeconds();
    for (;;) {
        if (!flushQueued()) {
            return -1;
        }
        if (queuedBytes() == 0) {
            // Everything is out: an ordinary read from here, on the clock already running.
            break;
        }
        if (size > 0) {
            ssize_t received =
                ::recv(socket_, buffer, static_cast<std::size_t>(size), flags | MSG_DONTWAIT);
            if (received >= 0 || !retryable(errno)) {
                rearmQuickAck(socket_);
                return static_cast<int>(received);
            }
        }
        int pass = waitPassEither(socket_, true, control, start);
        if (pass < 0) {
            return -1;
        }
        if (size == 0) {
            return 0;
        }
    }
    return recvTimed(socket_, buffer, size, flags, control);
}

int PlainTransport::sendNow(const char* data, int length) {
    ssize_t sent =
        ::send(socket_, data, static_cast<std::size_t>(length), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (sent < 0) {
        return retryable(errno) ? 0 : -1;
    }
    return static_cast<int>(sent);
}

int PlainTransport::send(const char* data, int length, ConnectionControl* control) {
    return sendTimed(socket_, data, length, 0, control);
}

int waitPass(Socket socket, bool forWriting, ConnectionControl* control,
             std::uint32_t startSecond) {
    int ready = waitOnePass(socket, forWriting ? POLLOUT : POLLIN);
    runIdleStep();
    if (cancelRequested(control) || waitTimedOut(control, startSecond) || ready < 0) {
        return -1;
    }
    return ready > 0 ? 1 : 0;
}

int waitPassEither(Socket socket, bool alsoWritable, ConnectionControl* control,
                   std::uint32_t startSecond) {
    int ready = waitOnePass(socket, static_cast<short>(POLLIN | (alsoWritable ? POLLOUT : 0)));
    runIdleStep();
    if (cancelRequested(control) || waitTimedOut(control, startSecond) || ready < 0) {
        return -1;
    }
    return ready > 0 ? 1 : 0;
}

bool stopRequested(ConnectionControl* control) {
    return cancelRequested(control);
}

int sendAll(Socket socket, const char* data, int length, int chunk, ConnectionControl* control) {
    PlainTransport transport(socket);
    return sendAll(transport, data, length, chunk, control);
}

int sendAll(Transport& transport, const char* data, int length, int chunk,
            ConnectionControl* control) {
    if (length < 0) {
        return -1;
    }
    // A chunk of 0 or less would never make progress.
    if (chunk > length || chunk <= 0) {
        chunk = length;
    }
    int piece = chunk;
    int sent = 0;
    bool failed = false;
    while (!cancelRequested(control) && !failed && sent < length) {
        int result = transport.send(data + sent, piece, control);
        if (result <= 0) {
            failed = true;
        } else {
            sent += result;
            piece = std::min(length - sent, chunk);
        }
    }
    if (failed || cancelRequested(control)) {
        return -1;
    }
    return sent;
}

bool readUntil(Socket socket, char* buffer, int size, ReplyEndFinder finder, int argument,
               ConnectionControl* control, int* foldedAt) {
    PlainTransport transport(socket);
    return readUntil(transport, buffer, size, finder, argument, control, foldedAt);
}

bool readUntil(Transport& transport, char* buffer, int size, ReplyEndFinder finder, int argument,
               ConnectionControl* control, int* foldedAt) {
    if (foldedAt != nullptr) {
        *foldedAt = -1;
    }
    if (buffer == nullptr || size < 1 || finder == nullptr) {
        return false;
    }
    buffer[0] = '\0';
    const int capacity = size - 1;
    int position = 0;
    int want = capacity;
    // Each wait has its own clock, so a server that keeps sending never times a wait out. A
    // reply that has outgrown its buffer and is still coming after a whole time-out is one that
    // will never end (an endless line or body): give up on it rather than read forever.
    const std::uint32_t start = nowSeconds();
    bool overflowed = false;
    for (;;) {
        // The bytes of a long reply may all be there already, so no wait would see these.
        idleStepIfDue();
        if (cancelRequested(control) || pastDeadline(control)) {
            return false;
        }
        if (overflowed && waitTimedOut(control, start)) {
            control->overran = true;
            return false;
        }
        int peeked = transport.receive(buffer + position, want, kPeek, control);
        if (peeked <= 0) {
            return false;
        }
        int end = finder(buffer, position + peeked, argument);
        if (end > 0) {
            // Never take more than was seen: the rest may belong to the next reply.
            end = std::min(end, position + peeked);
            if (end > position && !take(transport, buffer + position, end - position, control)) {
                return false;
            }
            buffer[end] = '\0';
            return true;
        }
        if (!take(transport, buffer + position, peeked, control)) {
            return false;
        }
        position += peeked;
        if (position >= capacity) {
            // Keep the first half, where a status line's indicator and numbers are, and let
            // the rest of the reply stream through the second half.
            const int head = capacity / 2;
            if (capacity - head > kFoldCarry + 1) {
                // A reply end may straddle the point where the buffer filled, so its first
                // bytes go along. The separator keeps the last bytes of the first half from
                // forming an end with them that the server never sent.
                std::memmove(buffer + head + 1, buffer + capacity - kFoldCarry, kFoldCarry);
                buffer[head] = kFoldSeparator;
                position = head + 1 + kFoldCarry;
            } else {
                position = head;
            }
            overflowed = true;
            if (foldedAt != nullptr) {
                *foldedAt = head;
            }
        }
        want = capacity - position;
    }
}

void closeConnection(Socket socket) {
    if (socket < 0) {
        return;
    }
    ::shutdown(socket, SHUT_RDWR);
    linger abortive{1, 0};
    ::setsockopt(socket, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    ::close(socket);
}

std::uint32_t nowSeconds() {
    // Whole seconds of a 64-bit millisecond clock: a 32-bit millisecond counter would wrap
    // after 49.7 days and make every wait running at that moment time out at once.
    auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count();
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(milliseconds) / 1000u);
}

bool isTimedOut(const ConnectionControl* control, std::uint32_t startSecond) {
    return control != nullptr && control->timeoutEnabled &&
           nowSeconds() - startSecond > control->timeoutSeconds;
}

} // namespace toppeek::mail

#include "mail/Connection.h"

#include "mail/HostCache.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
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

static_assert(kPeek == MSG_PEEK);

namespace {

std::unique_ptr<HostCache> gHostCache;
IdleStep gIdleStep;
NameLookup gNameLookup;

// Longest a pass waits for readiness: short enough that a cancel is seen at once and the idle
// step runs often, long enough that a waiting operation uses next to no processor time.
constexpr int kPassMilliseconds = 1;

bool cancelRequested(ConnectionControl* control) {
    return control != nullptr && control->cancelQuery && control->cancelQuery(*control);
}

// isTimedOut, remembered in the control when it says yes.
bool waitTimedOut(ConnectionControl* control, std::uint32_t startSecond) {
    if (!isTimedOut(control, startSecond)) {
        return false;
    }
    control->timedOut = true;
    return true;
}

void runIdleStep() {
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

// Linux leaves quick-acknowledgement mode on its own; servers that write a reply in several
// pieces would otherwise wait for our delayed acknowledgement between the pieces.
void keepQuickAck(Socket socket) {
    int on = 1;
    ::setsockopt(socket, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
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
}

bool setNonBlocking(Socket socket) {
    int flags = ::fcntl(socket, F_GETFL, 0);
    return flags >= 0 && ::fcntl(socket, F_SETFL, flags | O_NONBLOCK) == 0;
}

Ipv4Address systemLookup(const std::string& name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        return kNoAddress;
    }
    Ipv4Address address = kNoAddress;
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET && entry->ai_addr != nullptr) {
            address = reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr;
            break;
        }
    }
    ::freeaddrinfo(found);
    return address;
}

// Runs the lookup on a helper thread so that the wait can keep the window alive and notice a
// cancel. An abandoned lookup finishes on its own; its answer is dropped.
Ipv4Address lookUpWhileWaiting(const std::string& name, ConnectionControl* control) {
    NameLookup lookup = gNameLookup ? gNameLookup : NameLookup(systemLookup);
    auto answer = std::make_shared<std::promise<Ipv4Address>>();
    std::future<Ipv4Address> pending = answer->get_future();
    try {
        std::thread([answer, lookup, name] {
            Ipv4Address address = kNoAddress;
            try {
                address = lookup(name);
            } catch (...) {
            }
            answer->set_value(address);
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
            return kNoAddress;
        }
        if (done) {
            return pending.get();
        }
    }
}

bool isAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Connects the non-blocking socket. A cancel ends the wait as a failure.
bool waitForConnect(Socket socket, const sockaddr_in& address, ConnectionControl* control) {
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        return true;
    }
    if (errno != EINPROGRESS && errno != EINTR) {
        return false;
    }
    std::uint32_t start = nowSeconds();
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

} // namespace

void setIdleStep(IdleStep step) {
    gIdleStep = std::move(step);
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

std::optional<Ipv4Address> HostCache::lookup(std::string_view name) const {
    std::lock_guard lock(mutex_);
    auto hit = std::find_if(entries_.begin(), entries_.end(),
                            [name](const Entry& entry) { return entry.name == name; });
    if (hit == entries_.end()) {
        return std::nullopt;
    }
    return hit->address;
}

void HostCache::insert(std::string_view name, Ipv4Address address) {
    std::lock_guard lock(mutex_);
    if (entries_.size() < kCapacity) {
        entries_.push_back(Entry{std::string(name), address});
    } else {
        entries_.front() = Entry{std::string(name), address};
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

Ipv4Address resolveHost(std::string_view name, ConnectionControl* control) {
    std::string host(name);
    if (control != nullptr) {
        control->statusText = host;
        report(*control, ConnectStatus::Resolving);
    }
    if (host.find('\0') != std::string::npos) {
        return kNoAddress;
    }

    // A name whose last label does not start with a letter may be a dotted address.
    std::size_t dot = host.rfind('.');
    std::size_t probe = dot == std::string::npos ? 0 : dot + 1;
    if (probe >= host.size() || !isAsciiLetter(host[probe])) {
        in_addr_t address = ::inet_addr(host.c_str());
        if (address != kNoAddress) {
            return address;
        }
    }

    HostCache* cache = gHostCache.get();
    if (cache != nullptr) {
        std::optional<Ipv4Address> hit = cache->lookup(host);
        if (hit && *hit != kNoAddress) {
            return *hit;
        }
    }
    if (cancelRequested(control)) {
        return kNoAddress;
    }
    Ipv4Address address = lookUpWhileWaiting(host, control);
    // The cache may have been freed while the lookup ran.
    cache = gHostCache.get();
    if (address != kNoAddress && cache != nullptr) {
        cache->insert(host, address);
    }
    return address;
}

Socket connectToHost(std::string_view name, int port, ConnectionControl& control) {
    Ipv4Address address = resolveHost(name, &control);
    if (address == kNoAddress) {
        return kInvalidSocket;
    }
    Socket result = kInvalidSocket;
    for (int tries = 0;
         !cancelRequested(&control) && result == kInvalidSocket && tries < control.connectTries;
         ++tries) {
        result = openConnection(address, port, &control);
    }
    return result;
}

Socket openConnection(Ipv4Address address, int port, ConnectionControl* control) {
    if (port < 1 || port > 65535) {
        return kInvalidSocket;
    }
    Socket socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
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

    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(static_cast<std::uint16_t>(port));
    remote.sin_addr.s_addr = address;
    if (!waitForConnect(socket, remote, control)) {
        closeConnection(socket);
        return kInvalidSocket;
    }
    if (control != nullptr) {
        char dotted[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &remote.sin_addr, dotted, sizeof dotted);
        control->statusText = dotted;
        control->port = ntohs(remote.sin_port);
        report(*control, ConnectStatus::Connected);
    }
    return socket;
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
            keepQuickAck(socket);
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
            keepQuickAck(socket);
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

int PlainTransport::receive(char* buffer, int size, int flags, ConnectionControl* control) {
    return recvTimed(socket_, buffer, size, flags, control);
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
               ConnectionControl* control) {
    PlainTransport transport(socket);
    return readUntil(transport, buffer, size, finder, argument, control);
}

bool readUntil(Transport& transport, char* buffer, int size, ReplyEndFinder finder, int argument,
               ConnectionControl* control) {
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
        if (overflowed && waitTimedOut(control, start)) {
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

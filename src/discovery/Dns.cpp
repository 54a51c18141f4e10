#include "discovery/Dns.h"

#include <ares.h>
#include <arpa/inet.h>
#include <arpa/nameser.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace toppeek::discovery {

namespace {

constexpr int kPassMilliseconds = 5;

void initialiseOnce() {
    static std::once_flag once;
    std::call_once(once, [] { ares_library_init(ARES_LIB_INIT_ALL); });
}

} // namespace

struct DnsResolver::Query {
    DnsAnswer answer;
    bool done = false;
    RecordReader readRecords = nullptr; // for a look-up of records by type
};

namespace {

// The server said something about the name: what it has, or that it has nothing.
bool answered(int status) {
    return status == ARES_SUCCESS || status == ARES_ENODATA || status == ARES_ENOTFOUND;
}

void readServices(DnsAnswer& answer, const unsigned char* reply, int length) {
    ares_srv_reply* records = nullptr;
    if (ares_parse_srv_reply(reply, length, &records) != ARES_SUCCESS)
        return;
    for (const ares_srv_reply* r = records; r != nullptr; r = r->next)
        answer.services.push_back({r->host, r->port, r->priority, r->weight});
    ares_free_data(records);
    std::stable_sort(answer.services.begin(), answer.services.end(),
                     [](const ServiceRecord& a, const ServiceRecord& b) {
                         return a.priority != b.priority ? a.priority < b.priority
                                                         : a.weight > b.weight;
                     });
}

void readExchangers(DnsAnswer& answer, const unsigned char* reply, int length) {
    ares_mx_reply* records = nullptr;
    if (ares_parse_mx_reply(reply, length, &records) != ARES_SUCCESS)
        return;
    std::vector<std::pair<int, std::string>> sorted;
    for (const ares_mx_reply* r = records; r != nullptr; r = r->next)
        sorted.emplace_back(r->priority, r->host);
    ares_free_data(records);
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& entry : sorted)
        answer.exchangers.push_back(std::move(entry.second));
}

} // namespace

DnsResolver::DnsResolver(std::string_view server) {
    initialiseOnce();
    ares_options options{};
    // A few short tries: the whole discovery has about ten seconds.
    options.timeout = 1000;
    options.tries = 2;
    ares_channel channel = nullptr;
    if (ares_init_options(&channel, &options, ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES) != ARES_SUCCESS)
        return;
    if (!server.empty() &&
        ares_set_servers_ports_csv(channel, std::string(server).c_str()) != ARES_SUCCESS) {
        ares_destroy(channel);
        return;
    }
    channel_ = channel;
}

DnsResolver::~DnsResolver() {
    // Destroying the channel calls the callbacks still due, which write into the queries.
    if (channel_ != nullptr)
        ares_destroy(channel_);
}

int DnsResolver::add(std::unique_ptr<Query> query) {
    queries_.push_back(std::move(query));
    return static_cast<int>(queries_.size()) - 1;
}

const DnsAnswer& DnsResolver::answer(int number) const {
    return queries_.at(static_cast<std::size_t>(number))->answer;
}

int DnsResolver::lookUpRecords(const std::string& name, int type, RecordReader read) {
    const int number = add(std::make_unique<Query>());
    Query* query = queries_.back().get();
    query->readRecords = read;
    if (channel_ == nullptr) {
        query->done = true;
        return number;
    }
    ares_query(
        channel_, name.c_str(), ns_c_in, type,
        [](void* context, int status, int, unsigned char* reply, int length) {
            auto* q = static_cast<Query*>(context);
            q->done = true;
            q->answer.answered = answered(status);
            if (status == ARES_SUCCESS)
                q->readRecords(q->answer, reply, length);
        },
        query);
    return number;
}

int DnsResolver::lookUpServices(const std::string& name) {
    return lookUpRecords(name, ns_t_srv, readServices);
}

int DnsResolver::lookUpMailExchangers(const std::string& name) {
    return lookUpRecords(name, ns_t_mx, readExchangers);
}

int DnsResolver::lookUpAddresses(const std::string& name) {
    const int number = add(std::make_unique<Query>());
    Query* query = queries_.back().get();
    in_addr v4{};
    if (::inet_pton(AF_INET, name.c_str(), &v4) == 1) {
        query->answer.addresses.push_back(mail::IpAddress::fromIpv4(v4.s_addr));
        query->done = query->answer.answered = true;
        return number;
    }
    if (auto v6 = mail::parseIpv6Literal(name)) {
        query->answer.addresses.push_back(*v6);
        query->done = query->answer.answered = true;
        return number;
    }
    if (channel_ == nullptr) {
        query->done = true;
        return number;
    }
    ares_addrinfo_hints hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    ares_getaddrinfo(
        channel_, name.c_str(), nullptr, &hints,
        [](void* context, int status, int, ares_addrinfo* result) {
            auto* q = static_cast<Query*>(context);
            q->done = true;
            q->answer.answered = answered(status);
            if (result == nullptr)
                return;
            for (const ares_addrinfo_node* node = result->nodes; node != nullptr;
                 node = node->ai_next) {
                mail::IpAddress address;
                if (node->ai_family == AF_INET) {
                    const auto* in = reinterpret_cast<const sockaddr_in*>(node->ai_addr);
                    address = mail::IpAddress::fromIpv4(in->sin_addr.s_addr);
                } else if (node->ai_family == AF_INET6) {
                    const auto* in = reinterpret_cast<const sockaddr_in6*>(node->ai_addr);
                    address.family = mail::IpAddress::Family::V6;
                    std::memcpy(address.bytes.data(), &in->sin6_addr, 16);
                    address.scope = in->sin6_scope_id;
                } else {
                    continue;
                }
                if (std::find(q->answer.addresses.begin(), q->answer.addresses.end(), address) ==
                    q->answer.addresses.end())
                    q->answer.addresses.push_back(address);
            }
            ares_freeaddrinfo(result);
        },
        query);
    return number;
}

bool DnsResolver::wait(Clock::time_point deadline, const std::atomic<bool>* stop,
                       std::initializer_list<int> numbers) {
    auto allDone = [&] {
        if (numbers.size() == 0)
            return std::all_of(queries_.begin(), queries_.end(),
                               [](const auto& query) { return query->done; });
        return std::all_of(numbers.begin(), numbers.end(), [this](int number) {
            return queries_.at(static_cast<std::size_t>(number))->done;
        });
    };
    while (!allDone()) {
        if (channel_ == nullptr || Clock::now() >= deadline || (stop != nullptr && stop->load()))
            return false;
        ares_socket_t sockets[ARES_GETSOCK_MAXNUM];
        const int bits = ares_getsock(channel_, sockets, ARES_GETSOCK_MAXNUM);
        pollfd entries[ARES_GETSOCK_MAXNUM];
        nfds_t count = 0;
        for (int i = 0; i < ARES_GETSOCK_MAXNUM; ++i) {
            short events = 0;
            if (ARES_GETSOCK_READABLE(bits, i))
                events |= POLLIN;
            if (ARES_GETSOCK_WRITABLE(bits, i))
                events |= POLLOUT;
            if (events != 0)
                entries[count++] = pollfd{sockets[i], events, 0};
        }
        ::poll(entries, count, kPassMilliseconds);
        bool any = false;
        for (nfds_t i = 0; i < count; ++i) {
            if (entries[i].revents == 0)
                continue;
            any = true;
            const bool readable = (entries[i].revents & (POLLIN | POLLERR | POLLHUP)) != 0;
            const bool writable = (entries[i].revents & POLLOUT) != 0;
            ares_process_fd(channel_, readable ? entries[i].fd : ARES_SOCKET_BAD,
                            writable ? entries[i].fd : ARES_SOCKET_BAD);
        }
        if (!any) // lets c-ares see its own time-outs and retry
            ares_process_fd(channel_, ARES_SOCKET_BAD, ARES_SOCKET_BAD);
    }
    return true;
}

} // namespace toppeek::discovery

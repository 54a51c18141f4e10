// DNS look-ups for the discovery (c-ares): a domain's SRV and MX records and a host's addresses,
// several at once, waited for in short passes that watch a deadline and a stop flag.
#pragma once

#include "mail/Connection.h"

#include <atomic>
#include <chrono>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct ares_channeldata;

namespace toppeek::discovery {

using Clock = std::chrono::steady_clock;

struct ServiceRecord {
    std::string target;
    int port = 0;
    int priority = 0;
    int weight = 0;
};

struct DnsAnswer {
    bool answered = false; // the server answered (with records or without)
    // SRV records by priority, then weight (heaviest first); MX hosts by preference.
    std::vector<ServiceRecord> services;
    std::vector<std::string> exchangers;
    mail::AddressList addresses;
};

class DnsResolver {
public:
    // server: "" for the system's resolver configuration (/etc/resolv.conf, /etc/hosts), else
    // "address:port" of the one server to ask, for tests.
    explicit DnsResolver(std::string_view server = {});
    ~DnsResolver();
    DnsResolver(const DnsResolver&) = delete;
    DnsResolver& operator=(const DnsResolver&) = delete;

    bool ready() const { return channel_ != nullptr; }

    // Each starts one look-up and returns its number for answer().
    int lookUpServices(const std::string& name);
    int lookUpMailExchangers(const std::string& name);
    // IPv4 and IPv6; a literal address is answered at once.
    int lookUpAddresses(const std::string& name);

    // Waits until the look-ups numbered (every one started when none are named) have been
    // answered, the deadline has passed or stop is set. True when all were answered.
    bool wait(Clock::time_point deadline, const std::atomic<bool>* stop,
              std::initializer_list<int> numbers = {});
    const DnsAnswer& answer(int number) const;

private:
    struct Query;
    using RecordReader = void (*)(DnsAnswer& answer, const unsigned char* reply, int length);
    int add(std::unique_ptr<Query> query);
    // Starts a look-up of name's records of a DNS type, which read takes from the reply.
    int lookUpRecords(const std::string& name, int type, RecordReader read);

    std::vector<std::unique_ptr<Query>> queries_;
    ares_channeldata* channel_ = nullptr;
};

} // namespace toppeek::discovery

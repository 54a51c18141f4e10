#include "discovery/Discovery.h"

#include "discovery/Autoconfig.h"
#include "discovery/Dns.h"
#include "discovery/Probe.h"
#include "discovery/Words.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace toppeek::discovery {

namespace {

using std::chrono::milliseconds;

// The latest each source may end, from the start of the search, as parts of the bound: a source
// that hangs leaves the later ones their share.
constexpr double kAutoconfigShare = 0.45;
constexpr double kDnsShare = 0.65;

class Search {
public:
    Search(std::string_view address, const DiscoveryOptions& options)
        : address_(address), domain_(domainOf(address)), options_(options), start_(Clock::now()),
          end_(start_ + options.bound) {}

    Discovery run();

private:
    bool stopped() const { return options_.stop != nullptr && options_.stop->load(); }
    Clock::time_point until(double share) const {
        return start_ + std::chrono::duration_cast<Clock::duration>(options_.bound * share);
    }
    void say(const std::string& text) const {
        if (options_.progress)
            options_.progress(text);
    }
    // Records one source's outcome with the time since stepStart.
    void note(Source source, std::string outcome, Clock::time_point stepStart) {
        result_.steps.push_back(
            {source, std::move(outcome),
             std::chrono::duration_cast<milliseconds>(Clock::now() - stepStart)});
    }
    bool found(Source source, ServerSettings settings, std::string origin) {
        result_.found = true;
        result_.source = source;
        result_.settings = std::move(settings);
        if (result_.settings.userName.empty())
            result_.settings.userName = address_;
        result_.origin = std::move(origin);
        return true;
    }
    bool fromProvider(const Provider& provider, Source source, std::string origin) {
        result_.provider = &provider;
        result_.note = std::string(provider.note);
        if (!provider.offersPop3()) {
            result_.noPop3 = true;
            result_.origin = std::move(origin);
            return true;
        }
        return found(source,
                     {std::string(provider.host), provider.port, provider.security, address_,
                      provider.signIn},
                     std::move(origin));
    }

    bool providerTable();
    bool autoconfig(DnsResolver& dns);
    bool dnsRecords(DnsResolver& dns);
    bool probes(DnsResolver& dns);

    std::string address_;
    std::string domain_;
    const DiscoveryOptions& options_;
    Clock::time_point start_;
    Clock::time_point end_;
    Discovery result_;
};

bool Search::providerTable() {
    const auto stepStart = Clock::now();
    say(words(SearchWords::tr("Looking in the provider table\u2026")));
    const Provider* provider = providerForDomain(domain_);
    note(Source::ProviderTable, provider ? std::string(provider->name) : "not listed", stepStart);
    return provider != nullptr &&
           fromProvider(*provider, Source::ProviderTable,
                        words(SearchWords::tr("found in the provider table (%1)"),
                              std::string(provider->name)));
}

bool Search::autoconfig(DnsResolver& dns) {
    const auto stepStart = Clock::now();
    const Clock::time_point deadline = std::min(until(kAutoconfigShare), end_);
    const std::vector<std::string> urls = autoconfigUrls(address_, options_.endpoints.httpsPort);
    const std::string hosts[] = {"autoconfig." + domain_, domain_};
    say(words(SearchWords::tr("Asking %1 for the domain's autoconfig\u2026"), hosts[0]));
    const int lookups[] = {dns.lookUpAddresses(hosts[0]), dns.lookUpAddresses(hosts[1])};
    dns.wait(deadline, options_.stop, {lookups[0], lookups[1]});
    std::string outcome;
    for (std::size_t i = 0; i < urls.size() && !stopped() && Clock::now() < deadline; ++i) {
        const mail::AddressList& addresses = dns.answer(lookups[i]).addresses;
        if (!outcome.empty())
            outcome += "; ";
        if (addresses.empty()) {
            outcome += hosts[i] + ": no such host";
            continue;
        }
        say(words(SearchWords::tr("Asking %1 for the domain's autoconfig\u2026"), hosts[i]));
        FetchOutcome fetched = fetchHttps(urls[i], addresses, deadline, options_.stop);
        if (!fetched.body) {
            outcome += hosts[i] + ": " + fetched.failure;
            continue;
        }
        const std::optional<AutoconfigDocument> document = parseAutoconfig(*fetched.body, address_);
        if (!document) {
            outcome += hosts[i] + ": the document cannot be read";
            continue;
        }
        if (document->servers.empty()) {
            outcome += hosts[i] + ": it names no POP3 server";
            continue;
        }
        note(Source::Autoconfig, hosts[i] + ": " + document->servers.front().host, stepStart);
        return found(Source::Autoconfig, document->servers.front(),
                     words(SearchWords::tr("from the domain's autoconfig (%1)"), hosts[i]));
    }
    note(Source::Autoconfig, outcome.empty() ? "no time left" : outcome, stepStart);
    return false;
}

bool Search::dnsRecords(DnsResolver& dns) {
    auto stepStart = Clock::now();
    say(words(SearchWords::tr("Looking up the DNS records of %1\u2026"), domain_));
    const std::string secureName = "_pop3s._tcp." + domain_;
    const std::string plainName = "_pop3._tcp." + domain_;
    const int secure = dns.lookUpServices(secureName);
    const int plain = dns.lookUpServices(plainName);
    const int exchangers = dns.lookUpMailExchangers(domain_);
    dns.wait(std::min(until(kDnsShare), end_), options_.stop, {secure, plain, exchangers});

    // RFC 6186: a target of "." says the service is not offered at all.
    const std::pair<int, mail::Security> services[] = {{secure, mail::Security::Tls},
                                                       {plain, mail::Security::StartTls}};
    for (const auto& [number, security] : services) {
        const DnsAnswer& answer = dns.answer(number);
        if (answer.services.empty())
            continue;
        const ServiceRecord& record = answer.services.front();
        if (record.target.empty() || record.target == "." || record.port == 0)
            continue;
        const std::string name = number == secure ? secureName : plainName;
        note(Source::DnsService, name + ": " + record.target + ":" + std::to_string(record.port),
             stepStart);
        return found(Source::DnsService,
                     {lowerAscii(record.target), record.port, security, address_, SignIn::Password},
                     words(SearchWords::tr("from DNS (%1)"), name));
    }
    note(Source::DnsService, "no SRV record", stepStart);
    stepStart = Clock::now();
    for (const std::string& exchanger : dns.answer(exchangers).exchangers) {
        if (const Provider* provider = providerForMailExchanger(exchanger)) {
            note(Source::MailExchanger, exchanger + ": " + std::string(provider->name), stepStart);
            return fromProvider(*provider, Source::MailExchanger,
                                words(SearchWords::tr("from DNS: the domain's mail goes to %1 "
                                                      "(MX %2)"),
                                      std::string(provider->name), exchanger));
        }
    }
    note(Source::MailExchanger,
         dns.answer(exchangers).exchangers.empty() ? "no MX record" : "MX of no listed provider",
         stepStart);
    return false;
}

// One look at one name and port, run on a thread of its own.
struct ProbeJob {
    std::string host;
    mail::AddressList addresses;
    int port = 0;
    mail::Security security = mail::Security::Tls;
    bool done = false;
    ProbeOutcome outcome;
};

bool Search::probes(DnsResolver& dns) {
    const auto stepStart = Clock::now();
    const std::string names[] = {"pop." + domain_, "pop3." + domain_, "mail." + domain_};
    say(words(SearchWords::tr("Trying %1, %2 and %3\u2026"), names[0], names[1], names[2]));
    int lookups[std::size(names)];
    for (std::size_t i = 0; i < std::size(names); ++i)
        lookups[i] = dns.lookUpAddresses(names[i]);
    dns.wait(end_, options_.stop, {lookups[0], lookups[1], lookups[2]});

    // In order of preference: each name, TLS before STLS.
    std::vector<std::unique_ptr<ProbeJob>> jobs;
    for (std::size_t i = 0; i < std::size(names); ++i) {
        const mail::AddressList& addresses = dns.answer(lookups[i]).addresses;
        if (addresses.empty())
            continue;
        for (const auto& [port, security] :
             {std::pair{options_.endpoints.pop3sPort, mail::Security::Tls},
              std::pair{options_.endpoints.pop3Port, mail::Security::StartTls}})
            jobs.push_back(std::make_unique<ProbeJob>(
                ProbeJob{names[i], addresses, port, security, false, {}}));
    }
    if (jobs.empty()) {
        note(Source::Probe, "none of the names exists", stepStart);
        return false;
    }

    std::mutex lock;
    std::condition_variable changed;
    std::atomic<bool> enough{false};
    std::vector<std::thread> threads;
    for (auto& job : jobs) {
        threads.emplace_back([&, job = job.get()] {
            mail::ConnectionControl control;
            control.timeoutSeconds = 3;
            control.cancelQuery = [&](mail::ConnectionControl&) {
                return enough.load() || stopped() || Clock::now() >= end_;
            };
            ProbeOutcome outcome =
                probePop3(job->host, job->addresses, job->port, job->security, control);
            const std::lock_guard<std::mutex> guard(lock);
            job->outcome = std::move(outcome);
            job->done = true;
            changed.notify_all();
        });
    }
    // The best secured answer wins as soon as every better one has failed; a server that gives no
    // secure connection is taken only when no other answers.
    const ProbeJob* winner = nullptr;
    {
        std::unique_lock<std::mutex> guard(lock);
        for (;;) {
            bool undecided = false;
            for (const auto& job : jobs) {
                if (!job->done) {
                    undecided = true;
                    break;
                }
                if (job->outcome.secured) {
                    winner = job.get();
                    break;
                }
            }
            if (winner != nullptr || !undecided || stopped() || Clock::now() >= end_)
                break;
            changed.wait_for(guard, milliseconds(20));
        }
        if (winner == nullptr) {
            for (const auto& job : jobs)
                if (job->done && job->outcome.secured) {
                    winner = job.get();
                    break;
                }
        }
    }
    enough = true;
    for (std::thread& thread : threads)
        thread.join();
    const ProbeJob* plainOnly = nullptr;
    for (const auto& job : jobs)
        if (job->done && job->outcome.pop3 && job->security == mail::Security::StartTls &&
            !job->outcome.offersStls && plainOnly == nullptr)
            plainOnly = job.get();
    if (winner == nullptr && plainOnly != nullptr) {
        winner = plainOnly;
        result_.note = words(SearchWords::tr(
            "This server offers no secure connection: the password would travel in clear."));
    }
    if (winner == nullptr) {
        std::string outcome;
        for (const auto& job : jobs)
            outcome += (outcome.empty() ? "" : "; ") + job->host + ":" + std::to_string(job->port) +
                       " " + (job->done ? job->outcome.failure : std::string("no answer in time"));
        note(Source::Probe, outcome, stepStart);
        return false;
    }
    const mail::Security security =
        winner->outcome.secured ? winner->security : mail::Security::None;
    note(Source::Probe, winner->host + ":" + std::to_string(winner->port), stepStart);
    return found(Source::Probe, {winner->host, winner->port, security, address_, SignIn::Password},
                 words(SearchWords::tr("by trying %1"), winner->host));
}

Discovery Search::run() {
    if (domain_.empty()) {
        result_.origin = words(SearchWords::tr("the address has no domain"));
        return result_;
    }
    if (providerTable())
        return result_;
    DnsResolver dns(options_.endpoints.dnsServer);
    for (bool (Search::*source)(DnsResolver&) :
         {&Search::autoconfig, &Search::dnsRecords, &Search::probes}) {
        if (stopped() || Clock::now() >= end_)
            break;
        if ((this->*source)(dns))
            return result_;
    }
    result_.cancelled = stopped();
    return result_;
}

} // namespace

Discovery discoverSettings(std::string_view address, const DiscoveryOptions& options) {
    return Search(address, options).run();
}

const char* signInName(SignIn signIn) {
    switch (signIn) {
    case SignIn::EncryptedPassword:
        return "encrypted password";
    case SignIn::OAuth2:
        return "OAuth2";
    case SignIn::Password:
        break;
    }
    return "password";
}

} // namespace toppeek::discovery

#include "PoplibReference.h"

#include "support/RealPop3Server.h"

#include <algorithm>
#include <cstdio>
#include <sched.h>
#include <sstream>

namespace toppeek::bench {

std::vector<double> runTimedScript(const std::vector<std::string>& argv, const char* what) {
    std::string output;
    if (!toppeek::test::runTool(argv, output)) {
        std::fprintf(stderr, "%s run failed:\n%s\n", what, output.c_str());
        return {};
    }
    std::vector<double> seconds;
    std::istringstream in(output);
    for (double s; in >> s;)
        seconds.push_back(s);
    return seconds;
}

namespace {

// Each session is timed from the connection on. "login" stops the clock when PASS is accepted
// (QUIT follows untimed); the others stop it when QUIT is answered. Given a CA file, the sessions
// run over TLS (POP3_SSL) and check the server's certificate against that CA and the host name;
// the context is made once, before the first session, as a program that checks mail often would
// keep it.
const char* const kPoplibScript = R"(
import poplib, ssl, sys, time
mode, host, port, user, password, runs, cafile = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4], sys.argv[5], int(sys.argv[6]), sys.argv[7]
args = [int(a) for a in sys.argv[8:]]
context = None
if cafile:
    context = ssl.create_default_context(cafile=cafile)
    assert context.check_hostname and context.verify_mode == ssl.CERT_REQUIRED
for _ in range(runs):
    start = time.perf_counter()
    p = poplib.POP3_SSL(host, port, context=context) if context else poplib.POP3(host, port)
    p.user(user)
    p.pass_(password)
    if mode == 'login':
        elapsed = time.perf_counter() - start
        p.quit()
    else:
        if mode in ('check', 'checkplain'):
            if mode == 'check':
                p.capa()
            count, octets = p.stat()
            if mode == 'check' and min(count, args[0]) > 0:
                p.uidl()
            for n in range(1, min(count, args[0]) + 1):
                p.list(n)
                p.top(n, 0)
        elif mode == 'top':
            p.top(args[0], args[1])
        elif mode == 'dele':
            for n in args:
                p.dele(n)
        p.quit()
        elapsed = time.perf_counter() - start
    print(elapsed, flush=True)
)";

std::vector<double> runPoplib(const char* mode, int port, const std::string& user,
                              const std::string& password, int runs, const std::vector<long>& args,
                              const std::string& caFile = {}) {
    std::vector<std::string> argv{
        "python3", "-c",     kPoplibScript,        mode,  "127.0.0.1", std::to_string(port),
        user,      password, std::to_string(runs), caFile};
    for (long a : args)
        argv.push_back(std::to_string(a));
    return runTimedScript(argv, "poplib");
}

} // namespace

std::string makeMessage(int n, std::mt19937& random) {
    std::uniform_int_distribution<int> sizes(2048, 5120);
    const std::size_t target = static_cast<std::size_t>(sizes(random));
    std::ostringstream out;
    out << "Return-Path: <sender" << n << "@example.org>\n"
        << "Received: from mail.example.org (mail.example.org [192.0.2." << n % 250 + 1
        << "])\n\tby mx.example.com with ESMTP id " << 100000 + n
        << "\n\tfor <bench@example.com>; Tue, 5 Mar 2024 10:00:00 +0100\n"
        << "Message-ID: <" << n << ".bench@example.org>\n"
        << "Date: Tue, 5 Mar 2024 10:" << n % 60 / 10 << n % 10 << ":00 +0100\n"
        << "From: Sender " << n << " <sender" << n << "@example.org>\n"
        << "To: Bench <bench@example.com>\n"
        << "Subject: Benchmark message number " << n << "\n"
        << "MIME-Version: 1.0\n"
        << "Content-Type: text/plain; charset=us-ascii\n\n";
    std::string text = out.str();
    const std::string line =
        "The quick brown fox jumps over the lazy dog while the mail server keeps counting.\n";
    while (text.size() + line.size() <= target)
        text += line;
    if (text.size() < target) {
        text.append(target - text.size() - 1, 'x');
        text += '\n';
    }
    return text;
}

double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

int runOnOneProcessor() {
    int cpu = ::sched_getcpu();
    if (cpu < 0)
        cpu = 0;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    return ::sched_setaffinity(0, sizeof one, &one) == 0 ? cpu : -1;
}

std::vector<double> timePoplibCheck(int port, const std::string& user, const std::string& password,
                                    int runs, long limit, const std::string& caFile,
                                    bool withUniqueIds) {
    return runPoplib(withUniqueIds ? "check" : "checkplain", port, user, password, runs, {limit},
                     caFile);
}

std::vector<double> timePoplibLogin(int port, const std::string& user, const std::string& password,
                                    int runs, const std::string& caFile) {
    return runPoplib("login", port, user, password, runs, {}, caFile);
}

std::vector<double> timePoplibTop(int port, const std::string& user, const std::string& password,
                                  int runs, long message, long lines) {
    return runPoplib("top", port, user, password, runs, {message, lines});
}

std::vector<double> timePoplibDele(int port, const std::string& user, const std::string& password,
                                   const std::vector<long>& messages) {
    return runPoplib("dele", port, user, password, 1, messages);
}

} // namespace toppeek::bench

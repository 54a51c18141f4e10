#include "BenchCommon.h"

#include <algorithm>
#include <cstdio>

namespace toppeek::bench {

toppeek::storage::Account accountFor(const toppeek::test::RealPop3Server& server,
                                     const char* user) {
    toppeek::storage::Account account;
    account.host = server.hostAndPort();
    account.userName = server.loginName(user);
    account.password = kPassword;
    return account;
}

bool fail(const char* what) {
    std::fprintf(stderr, "bench_all: %s\n", what);
    return false;
}

void printRuns(const char* name, const std::vector<double>& values, double scale,
               const char* unit) {
    std::printf("  %-24s", name);
    for (double v : values)
        std::printf(" %.3f", v * scale);
    std::printf(" %s\n", unit);
}

double longest(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

double shortest(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::min_element(values.begin(), values.end());
}

const char* verdict(bool met) {
    return met ? "met" : "MISSED";
}

void rowText(const char* what, const std::string& ours, const std::string& reference,
             const std::string& ratio, const std::string& target, const char* result) {
    std::printf("| %-50s | %12s | %12s | %6s | %-20s | %-6s |\n", what, ours.c_str(),
                reference.c_str(), ratio.c_str(), target.c_str(), result);
}

std::string format(const char* pattern, double value) {
    char text[48];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

void row(const char* what, double oursMs, double referenceMs, const std::string& target,
         const char* result) {
    const bool reference = referenceMs >= 0;
    rowText(what, format("%.2f ms", oursMs), reference ? format("%.2f ms", referenceMs) : "-",
            reference ? format("%.2f", oursMs / referenceMs) : "-", target, result);
}

} // namespace toppeek::bench

#pragma once

#include "mail/Connection.h"

#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace toppeek::mail {

// Host names already resolved in this run, so that each name is looked up once. Entries never
// expire; when the table is full a new name replaces the first entry. Safe to use from several
// threads: every lookup and insertion holds the cache's mutex.
class HostCache {
public:
    static constexpr std::size_t kCapacity = 500;

    // The addresses of the first entry whose name equals name byte for byte, in their order.
    std::optional<AddressList> lookup(std::string_view name) const;
    void insert(std::string_view name, AddressList addresses);

    std::size_t size() const;
    // The name stored at index, or nothing past the end.
    std::optional<std::string> nameAt(std::size_t index) const;

private:
    struct Entry {
        std::string name;
        AddressList addresses;
    };

    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
};

// The process-wide cache that resolveHost uses; null before startConnectionLayer and after
// stopConnectionLayer.
HostCache* processHostCache();

} // namespace toppeek::mail

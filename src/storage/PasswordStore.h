// The desktop's keyring as the settings see it: a place that keeps one
// password per account, outside the settings file. The real one talks to
// the Secret Service; tests put a fake in its place.
#pragma once

#include <functional>
#include <string>

namespace toppeek::storage {

// One keyring item. The label is what a keyring manager shows; the key
// tells the accounts apart.
struct KeyringItem {
    std::string label;
    std::string key;
    bool operator==(const KeyringItem& other) const { return key == other.key; }
};

enum class KeyringResult {
    Done,
    NotFound,    // the keyring works but holds no such item
    Unavailable, // no keyring, or it refused, or stayed locked
};

// Every request answers exactly once, through its callback, on the thread
// that made it: before the call returns or later from the event loop. A
// store that is destroyed answers nothing more.
class PasswordStore {
public:
    using Finished = std::function<void(KeyringResult)>;
    using Loaded = std::function<void(KeyringResult, const std::string& password)>;

    virtual ~PasswordStore() = default;
    // Creates the item or replaces its password.
    virtual void store(const KeyringItem& item, const std::string& password, Finished done) = 0;
    virtual void load(const KeyringItem& item, Loaded done) = 0;
    // An item that is not there counts as removed (Done).
    virtual void remove(const KeyringItem& item, Finished done) = 0;
};

} // namespace toppeek::storage

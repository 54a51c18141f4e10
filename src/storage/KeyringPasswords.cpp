#include "storage/KeyringPasswords.h"

#include <algorithm>
#include <utility>

namespace toppeek::storage {

namespace {

// Whether some account still needs item: as the one holding its password or
// as the one its password is about to move to.
bool itemInUse(const Settings& settings, const KeyringItem& item) {
    for (const Account* account : settings.accounts) {
        if ((account->keyringItem && *account->keyringItem == item) ||
            (keyringItemFor(*account) == item &&
             (!account->passwordKnown || !account->password.empty())))
            return true;
    }
    return false;
}

// The first account the keyring has work for, or null.
Account* accountToSync(Settings& settings) {
    for (Account* account : settings.accounts) {
        const KeyringItem wanted = keyringItemFor(*account);
        if (account->keyringItem ? !(*account->keyringItem == wanted)
                                 : account->passwordKnown && !account->password.empty())
            return account;
    }
    return nullptr;
}

} // namespace

void noteAccountEdited(Settings& settings, const Account& before, Account& after) {
    if (!before.passwordKnown && after.password.empty()) {
        after.passwordKnown = false;
        after.keyringItem = before.keyringItem;
        return;
    }
    after.passwordKnown = true;
    if (before.passwordKnown && after.password == before.password) {
        after.keyringItem = before.keyringItem; // same password, maybe under a new name
        return;
    }
    // A new password: the old item holds the old one.
    after.keyringItem.reset();
    if (before.keyringItem)
        settings.staleKeyringItems.push_back(*before.keyringItem);
}

void noteAccountRemoved(Settings& settings, const Account& removed) {
    if (removed.keyringItem)
        settings.staleKeyringItems.push_back(*removed.keyringItem);
}

bool keyringWorkPending(const Settings& settings) {
    return accountToSync(const_cast<Settings&>(settings)) != nullptr ||
           std::any_of(settings.staleKeyringItems.begin(), settings.staleKeyringItems.end(),
                       [&](const KeyringItem& item) { return !itemInUse(settings, item); });
}

KeyringSync::KeyringSync(Settings& settings, PasswordStore& store)
    : settings_(settings), store_(store) {}

KeyringSync::~KeyringSync() {
    *alive_ = false;
}

template <class F> auto KeyringSync::guarded(F f) {
    return [alive = std::weak_ptr<bool>(alive_), f = std::move(f)](auto&&... args) {
        if (const auto flag = alive.lock(); flag && *flag)
            f(std::forward<decltype(args)>(args)...);
    };
}

void KeyringSync::start(std::function<void(bool)> finished) {
    finished_ = std::move(finished);
    running_ = true;
    next();
}

void KeyringSync::finish(bool usable) {
    running_ = false;
    if (auto finished = std::exchange(finished_, nullptr))
        finished(usable);
}

void KeyringSync::next() {
    if (stepping_) {
        stepAgain_ = true;
        return;
    }
    // The owner may drop this sync from within the finished callback.
    const std::shared_ptr<bool> alive = alive_;
    stepping_ = true;
    do {
        stepAgain_ = false;
        if (!running_)
            break;
        Account* account = accountToSync(settings_);
        if (account != nullptr && !account->passwordKnown) {
            // Renamed before its password was read: fetch it from the old item first.
            const KeyringItem from = *account->keyringItem;
            store_.load(from,
                        guarded([this, from](KeyringResult result, const std::string& password) {
                            Account* moving = nullptr;
                            for (Account* a : settings_.accounts)
                                if (!a->passwordKnown && a->keyringItem && *a->keyringItem == from)
                                    moving = a;
                            if (result == KeyringResult::Unavailable)
                                return finish(false);
                            if (moving != nullptr) {
                                if (result == KeyringResult::Done) {
                                    moving->password = password;
                                } else {
                                    // Gone from the keyring: the login will ask.
                                    moving->keyringItem = keyringItemFor(*moving);
                                }
                                moving->passwordKnown = result == KeyringResult::Done;
                            }
                            next();
                        }));
        } else if (account != nullptr) {
            const KeyringItem to = keyringItemFor(*account);
            std::optional<KeyringItem> from = account->keyringItem;
            store_.store(to, account->password, guarded([this, to, from](KeyringResult result) {
                             if (result != KeyringResult::Done)
                                 return finish(false);
                             for (Account* a : settings_.accounts)
                                 if (a->passwordKnown && keyringItemFor(*a) == to &&
                                     a->keyringItem == from)
                                     a->keyringItem = to;
                             if (from)
                                 settings_.staleKeyringItems.push_back(*from);
                             next();
                         }));
        } else {
            auto& stale = settings_.staleKeyringItems;
            stale.erase(
                std::remove_if(stale.begin(), stale.end(),
                               [&](const KeyringItem& item) { return itemInUse(settings_, item); }),
                stale.end());
            if (stale.empty()) {
                finish(true);
                if (!*alive)
                    return;
                break;
            }
            const KeyringItem item = stale.back();
            store_.remove(item, guarded([this, item](KeyringResult result) {
                              if (result == KeyringResult::Unavailable)
                                  return finish(false);
                              auto& items = settings_.staleKeyringItems;
                              items.erase(std::remove(items.begin(), items.end(), item),
                                          items.end());
                              next();
                          }));
        }
        if (!*alive)
            return;
    } while (stepAgain_);
    stepping_ = false;
}

} // namespace toppeek::storage

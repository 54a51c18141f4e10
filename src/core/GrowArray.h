// A growable array of item pointers that may own its items.
//
// The growth rule is part of the program's observable behaviour: the array
// never fills its last slot, and it grows by growBy slots (not doubling)
// before an insertion when count + 1 >= capacity. Items are pointers, so
// insertions, removals and sorting move pointers, never item contents.
#pragma once

#include "core/Memory.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <new>

namespace toppeek::core {

template <class T> class GrowArray {
public:
    using FreeItem = std::function<void(T*)>;

    static constexpr int maxCapacity = 1073741819;

    // A set freeItem makes the array the owner of its items.
    explicit GrowArray(int initialCapacity, int growBy = 1, FreeItem freeItem = {})
        : capacity_(std::clamp(initialCapacity, 2, maxCapacity)), growBy_(std::max(growBy, 1)),
          items_(allocateSlots(capacity_)), freeItem(std::move(freeItem)) {}

    // An owning array whose items are released with delete.
    static FreeItem deleter() {
        return [](T* item) { delete item; };
    }

    GrowArray(const GrowArray&) = delete;
    GrowArray& operator=(const GrowArray&) = delete;

    ~GrowArray() { clear(); }

    int count() const { return count_; }
    int capacity() const { return capacity_; }
    int growBy() const { return growBy_; }

    // The item at i; null when i lies outside 0..count - 1 (so also when
    // the array is empty).
    T* at(int i) const { return i < 0 || i >= count_ ? nullptr : items_[i]; }

    // Inserts item at i and returns i; -1 (and no change) when i is outside
    // 0..count or the array is at its limit. On refusal the caller keeps
    // the item.
    int insertAt(int i, T* item) {
        if (i < 0 || i > count_ || count_ >= maxCapacity)
            return -1;
        if (count_ + 1 >= capacity_)
            reallocate(static_cast<int>(
                std::min<long long>(static_cast<long long>(capacity_) + growBy_, maxCapacity)));
        std::move_backward(items_.get() + i, items_.get() + count_, items_.get() + count_ + 1);
        items_[i] = item;
        ++count_;
        return i;
    }

    int append(T* item) { return insertAt(count_, item); }

    // Takes the item at i out without releasing it; the caller now owns it.
    bool removeAt(int i) {
        if (i < 0 || i >= count_)
            return false;
        std::move(items_.get() + i + 1, items_.get() + count_, items_.get() + i);
        --count_;
        return true;
    }

    // removeAt for owning arrays whose items were made with new.
    std::unique_ptr<T> takeAt(int i) {
        if (i < 0 || i >= count_)
            return nullptr;
        std::unique_ptr<T> item(items_[i]);
        removeAt(i);
        return item;
    }

    // Releases the old item and stores item in its place. Storing the item
    // that is already there releases nothing: it would leave a dangling
    // pointer behind.
    bool replaceAt(int i, T* item) {
        if (i < 0 || i >= count_)
            return false;
        if (freeItem && items_[i] != item)
            freeItem(items_[i]);
        items_[i] = item;
        return true;
    }

    // Releases every item in index order; the storage and capacity stay.
    void clear() {
        if (freeItem)
            for (int i = 0; i < count_; ++i)
                freeItem(items_[i]);
        count_ = 0;
    }

    // Sets the capacity to n, limited to the maximum and never below count.
    void reserve(int n) { reallocate(std::max(std::min(n, maxCapacity), count_)); }

    // Shell sort in place with the gaps 9, 5, 3, 2, 1. Not stable: sorting
    // descending moves an item in front of earlier items that compare equal.
    template <class Compare> void sort(Compare compare, bool ascending) {
        static constexpr int gaps[] = {9, 5, 3, 2, 1};
        for (int gap : gaps) {
            for (int i = gap; i < count_; ++i) {
                T* x = items_[i];
                int j = i - gap;
                while (j >= 0 &&
                       (ascending ? compare(*x, *items_[j]) < 0 : compare(*x, *items_[j]) >= 0)) {
                    items_[j + gap] = items_[j];
                    j -= gap;
                }
                items_[j + gap] = x;
            }
        }
    }

    T* const* begin() const { return items_.get(); }
    T* const* end() const { return items_.get() + count_; }

private:
    // Running out of memory ends the program whether or not the
    // new-handler has been installed yet.
    static T** allocateSlots(int n) {
        T** block = new (std::nothrow) T*[static_cast<std::size_t>(n)];
        if (block == nullptr)
            exitOutOfMemory();
        return block;
    }

    void reallocate(int newCapacity) {
        newCapacity = std::max(newCapacity, 2);
        if (newCapacity == capacity_)
            return;
        std::unique_ptr<T*[]> storage(allocateSlots(newCapacity));
        std::copy(items_.get(), items_.get() + count_, storage.get());
        items_ = std::move(storage);
        capacity_ = newCapacity;
    }

    int count_ = 0;
    int capacity_;
    int growBy_;
    std::unique_ptr<T*[]> items_;

public:
    FreeItem freeItem;
};

} // namespace toppeek::core

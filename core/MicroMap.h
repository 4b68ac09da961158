// Small sorted map: keys ascending (unsigned order), unique; binary-search lookups.
// The engine keeps its handlers, its register blocks and its pending requests in one.
#pragma once
#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <vector>

template <typename K, typename V> class MicroMap {
    static_assert(std::is_unsigned_v<K>, "keys compare as unsigned numbers");

public:
    struct TPair {
        K Key{};
        V Value{};
    };

    // Index of the key, or -1.
    int Find(K key) const
    {
        int lo = 0, hi = Count() - 1;
        while (lo <= hi) {
            int mid = (lo + hi) / 2;
            K k = items_[static_cast<std::size_t>(mid)].Key;
            if (k == key)
                return mid;
            if (k < key)
                lo = mid + 1;
            else
                hi = mid - 1;
        }
        return -1;
    }

    // Index at which the key would be inserted to keep the order, or -1 when present.
    int FindInsertPos(K key) const
    {
        int lo = 0, hi = Count() - 1;
        while (lo <= hi) {
            int mid = (lo + hi) / 2;
            K k = items_[static_cast<std::size_t>(mid)].Key;
            if (k == key)
                return -1;
            if (k < key)
                lo = mid + 1;
            else
                hi = mid - 1;
        }
        return lo;
    }

    // False when the key is present, the map is full or memory runs out.
    bool Insert(K key, const V &value)
    {
        int pos = FindInsertPos(key);
        if (pos < 0 || Count() >= kMaxCount)
            return false;
        try {
            items_.insert(items_.begin() + pos, TPair{key, value});
        } catch (const std::bad_alloc &) {
            return false;
        }
        return true;
    }

    // The value at an index; a default value outside the range.
    const V &ValueAt(int index) const { return PairAt(index).Value; }
    V &ValueAt(int index)
    {
        if (index < 0 || index >= Count())
            return default_.Value = V{};
        return items_[static_cast<std::size_t>(index)].Value;
    }
    K KeyAt(int index) const { return PairAt(index).Key; }

    void RemoveAt(int index)
    {
        if (index < 0 || index >= Count())
            return;
        items_.erase(items_.begin() + index);
        if (items_.empty())
            items_.shrink_to_fit();
    }

    void Clear()
    {
        items_.clear();
        items_.shrink_to_fit();
    }

    int Count() const { return static_cast<int>(items_.size()); }

private:
    // The count is a signed 16-bit quantity.
    static constexpr int kMaxCount = 32767;

    const TPair &PairAt(int index) const
    {
        if (index < 0 || index >= Count())
            return kDefault;
        return items_[static_cast<std::size_t>(index)];
    }

    std::vector<TPair> items_;
    TPair default_{};
    static inline const TPair kDefault{};
};

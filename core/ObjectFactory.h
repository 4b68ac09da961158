// Owning list of heap objects with its own lock: the scheduler's entries and the
// device variable table live in one. Indexed access is safe from any thread.
#pragma once
#include <cstddef>
#include <memory>
#include <new>
#include <vector>

#include "core/CritSection.h"

template <typename T> class uObjectFactoryT {
public:
    uObjectFactoryT() = default;
    uObjectFactoryT(const uObjectFactoryT &) = delete;
    uObjectFactoryT &operator=(const uObjectFactoryT &) = delete;
    ~uObjectFactoryT() { Clear(); }

    // A new default-constructed T appended at the end; null when memory runs out.
    T *Add()
    {
        try {
            auto item = std::make_unique<T>();
            T *raw = item.get();
            CAutoLock guard(Lock);
            Items.push_back(std::move(item));
            return raw;
        } catch (const std::bad_alloc &) {
            return nullptr;
        }
    }

    // The object at index i, or null outside 0..Count()-1.
    T *At(int i)
    {
        CAutoLock guard(Lock);
        if (i < 0 || i >= static_cast<int>(Items.size()))
            return nullptr;
        return Items[static_cast<std::size_t>(i)].get();
    }

    // Removes and frees one object; an index out of range does nothing.
    void RemoveAt(int i)
    {
        std::unique_ptr<T> doomed;
        {
            CAutoLock guard(Lock);
            if (i < 0 || i >= static_cast<int>(Items.size()))
                return;
            doomed = std::move(Items[static_cast<std::size_t>(i)]);
            Items.erase(Items.begin() + i);
        }
        // The object is freed outside the lock: its destructor may take other locks.
    }

    void Clear()
    {
        std::vector<std::unique_ptr<T>> doomed;
        {
            CAutoLock guard(Lock);
            doomed.swap(Items);
        }
    }

    int Count()
    {
        CAutoLock guard(Lock);
        return static_cast<int>(Items.size());
    }

    // Public so that a caller can hold the list still across several calls.
    CCritSection Lock;

private:
    std::vector<std::unique_ptr<T>> Items;
};

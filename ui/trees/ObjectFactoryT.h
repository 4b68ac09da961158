// Owning list of tree row records: one pool per tree controller. Records are made and
// destroyed on the window's thread only, so unlike uObjectFactoryT it takes no lock.
#pragma once
#include <memory>
#include <vector>

template <typename T> class ObjectFactoryT {
public:
    ObjectFactoryT() = default;
    ObjectFactoryT(const ObjectFactoryT &) = delete;
    ObjectFactoryT &operator=(const ObjectFactoryT &) = delete;
    ~ObjectFactoryT() { Clear(); }

    // Grows the pool by one default-constructed record and returns it.
    T *Add()
    {
        Items.push_back(std::make_unique<T>());
        return Items.back().get();
    }

    T *At(int i) const { return i >= 0 && i < Count() ? Items[static_cast<std::size_t>(i)].get() : nullptr; }

    int Count() const { return static_cast<int>(Items.size()); }

    // Destroys the records in index order.
    void Clear()
    {
        std::vector<std::unique_ptr<T>> doomed;
        doomed.swap(Items);
        for (auto &item : doomed)
            item.reset();
    }

private:
    std::vector<std::unique_ptr<T>> Items;
};

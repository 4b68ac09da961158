// MVarArray: a key/value tree node whose children stay sorted by key; the debug dump is one.
// Saved and loaded through an MStream in the dump file container.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "values/MString.h"
#include "values/MVariant.h"

class MBaseStream;

class MVarArray {
public:
    static constexpr std::int32_t kMaxChildren = 100000;  // larger counts read as none
    static constexpr int kMaxDepth = 64;                  // deeper files are damaged
    // A dump holds one node per device variable; a file that claims more nodes than
    // this is damaged, which keeps a small hostile file from costing gigabytes.
    static constexpr std::int32_t kMaxNodes = 1000000;

    MVarArray() = default;
    MVarArray(const MVarArray &) = delete;
    MVarArray &operator=(const MVarArray &) = delete;
    MVarArray(MVarArray &&) noexcept = default;
    MVarArray &operator=(MVarArray &&) noexcept = default;

    MVariant &Value() { return value_; }
    const MVariant &Value() const { return value_; }
    MVariant &Key() { return key_; }
    const MVariant &Key() const { return key_; }
    std::int32_t Count() const { return static_cast<std::int32_t>(children_.size()); }
    MVarArray &Child(std::int32_t index) { return *children_[static_cast<std::size_t>(index)]; }
    const MVarArray &Child(std::int32_t index) const { return *children_[static_cast<std::size_t>(index)]; }

    // The child with an equal key, made and inserted in key order when there is none.
    MVarArray &FindOrAdd(const MVariant &key);
    void Clear() { children_.clear(); }

    bool WriteTo(MBaseStream &stream) const;
    bool ReadFrom(MBaseStream &stream);

    bool SaveToFile(const MString &path) const;
    bool LoadFromFile(const MString &path);
    // The loading path of LoadFromFile on an already open descriptor (left open).
    bool LoadFromDescriptor(int fd);

private:
    bool ReadNode(MBaseStream &stream, int depth, std::int32_t &nodesLeft);
    void SortChildren();
    MVarArray &InsertAt(std::size_t position, const MVariant &key);

    MVariant value_;
    MVariant key_;
    std::vector<std::unique_ptr<MVarArray>> children_;
};

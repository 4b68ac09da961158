// ArrayT: owns an aligned heap block behind a pointer field of its holder, so the holder can
// keep using a plain pointer while resizing keeps the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

// Only the one-dimensional instance is used (the byte buffer under MStream).
template <class T, class PtrT = T *, int Dims = 1> class ArrayT {
    static_assert(Dims == 1, "only one-dimensional arrays are provided");

public:
    // Binds to the pointer field it manages; alignment is clamped to 1..128 (a power of two).
    explicit ArrayT(PtrT &bound, std::size_t alignment = 1) : bound_(bound), alignment_(ClampAlign(alignment))
    {
        bound_ = nullptr;
    }
    ArrayT(const ArrayT &) = delete;
    ArrayT &operator=(const ArrayT &) = delete;
    ~ArrayT() { Free(); }

    // n <= 0 frees the memory. Otherwise the block becomes exactly n elements, keeping the
    // first min(old, n) of them; new elements are not cleared. False (nothing changed) when
    // memory cannot be had.
    bool Resize(std::int64_t n)
    {
        if (n <= 0) {
            Free();
            return true;
        }
        const std::size_t count = static_cast<std::size_t>(n);
        if (count == count_)
            return true;
        if (count > SIZE_MAX / sizeof(T))
            return false;
        void *fresh = ::operator new(count * sizeof(T), std::align_val_t(alignment_), std::nothrow);
        if (!fresh)
            return false;
        if (bound_)
            std::memcpy(fresh, bound_, (count < count_ ? count : count_) * sizeof(T));
        Free();
        bound_ = static_cast<PtrT>(fresh);
        count_ = count;
        return true;
    }

    std::size_t Count() const { return count_; }
    std::size_t Alignment() const { return alignment_; }

private:
    static std::size_t ClampAlign(std::size_t a)
    {
        std::size_t p = 1;
        while (p < a && p < 128)
            p <<= 1;
        return p;
    }
    void Free()
    {
        if (bound_)
            ::operator delete(static_cast<void *>(bound_), std::align_val_t(alignment_));
        bound_ = nullptr;
        count_ = 0;
    }

    PtrT &bound_;
    std::size_t count_ = 0;
    std::size_t alignment_;
};

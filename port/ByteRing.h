// Fixed 60000-byte ring between the port thread and the device connection.
// Not locked by itself: callers hold the owning port's Lock.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

class ByteRing {
public:
    static constexpr uint16_t kSize = 60000;

    // Stores up to n bytes. When full: stops (overwrite false) or replaces the oldest
    // byte (overwrite true). Returns the number stored.
    size_t Put(const uint8_t *bytes, size_t n, bool overwrite);
    // Moves up to n bytes, oldest first, into buf. Returns the number taken.
    size_t Take(uint8_t *buf, size_t n);
    // Copies up to n bytes, oldest first, into buf without removing them.
    size_t Peek(uint8_t *buf, size_t n) const;
    // Gives back to the front the last n bytes taken; n is limited to the free space,
    // since more than that would hand back bytes already overwritten.
    void Unget(size_t n);
    // Empties the ring (indices and count to 0).
    void Clear();

    uint16_t Count() const { return count_; }
    uint16_t Free() const { return static_cast<uint16_t>(kSize - count_); }
    uint16_t ReadIndex() const { return read_; }
    uint16_t WriteIndex() const { return write_; }
    static constexpr uint16_t Capacity() { return kSize; }

private:
    uint16_t read_ = 0;
    uint16_t write_ = 0;
    uint16_t count_ = 0;
    std::array<uint8_t, kSize> data_{};
};

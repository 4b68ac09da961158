// The stand-in device's Modbus side: our engine answers from a register image of the
// model, one memory block per variable; writes are screened and then handed to the model,
// which carries out their commands.
//
// Reads go as the device's engine does them: from a register of the map on, registers
// outside the map reading as zero.
//
// Exception replies: 1 for a function other than 3, 6 and 16; 2 for a read that starts
// outside the map, a write touching a register outside it, or a write to a read-only
// variable (refused, not acknowledged); 3 for a quantity or
// byte count out of range or a value the device does not accept; 4 for a command that
// failed and for the fault switch. A refused write changes nothing, even when it spans
// several variables.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/MicroModbus.h"
#include "sim/SimDeviceModel.h"

class SimSlave {
public:
    explicit SimSlave(SimDeviceModel &model);
    SimSlave(const SimSlave &) = delete;
    SimSlave &operator=(const SimSlave &) = delete;

    // Fault switch: requests touching this variable's registers get exception 4; -1 = none.
    void SetFaultVar(int id) { faultVar_ = id; }
    // Fault switch: writes touching this variable's registers get exception 4 and change
    // nothing; reads are answered. -1 = none.
    void SetRefusedWriteVar(int id) { refusedWriteVar_ = id; }
    // Fault switch: once this many variables have been stored, writes get exception 4,
    // except a write of the save command alone. 0 = never.
    void SetLockAfter(uint32_t stored) { lockAfter_ = stored; }
    // Firmware that reads less at once: reads of more than this many registers get
    // exception 3 (1..125).
    void SetMaxRead(uint16_t registers) { maxRead_ = registers; }
    // Firmware without block reads: a read spanning two variables gets exception 2.
    void SetNoBlockReads(bool on) { noBlockReads_ = on; }
    // Called for every variable a write stored, in register order, with the value its
    // registers now hold (text variables: the text).
    using WriteObserver = std::function<void(int id, double value, const std::string &text)>;
    void SetWriteObserver(WriteObserver observer) { onWrite_ = std::move(observer); }

    // One received RTU frame in, the reply frame out; empty when the device stays silent
    // (bad CRC, another unit, a frame too long to be Modbus RTU).
    std::vector<uint8_t> HandleFrame(const uint8_t *frame, size_t length);

    const MicroModbus &Engine() const { return engine_; }

    // Registers the image holds in all.
    static constexpr size_t kImageWords = 204;

private:
    void LoadImage();
    // Exception code for a request the engine accepted, 0 when it may go ahead.
    uint8_t Screen(std::vector<int> *vars) const;
    uint8_t ApplyWrites(const std::vector<int> &vars);
    std::vector<uint8_t> ExceptionReply(uint8_t code);
    std::vector<uint8_t> TakeReply() const;
    uint16_t *Regs(int id) { return &image_[offset_[static_cast<size_t>(id)]]; }

    SimDeviceModel &model_;
    MicroModbus engine_;
    std::array<uint16_t, kImageWords> image_{};
    std::array<size_t, vSimVarCount> offset_{};
    std::array<uint8_t, 260> tx_{};
    int faultVar_ = -1;
    int refusedWriteVar_ = -1;
    uint32_t lockAfter_ = 0;
    uint16_t maxRead_ = 125;
    bool noBlockReads_ = false;
    uint32_t stored_ = 0;  // variables stored by writes so far
    WriteObserver onWrite_;
};

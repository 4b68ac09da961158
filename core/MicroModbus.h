// Modbus protocol engine on byte buffers: builds requests and tracks them until their
// reply or deadline (master side), and answers requests for this node from its own
// register blocks (slave side). It knows nothing of ports or threads.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

#include "core/MbFraming.h"
#include "core/MicroMap.h"
#include "core/MicroTask.h"

class MicroModbus;

// Result of a slave handler: 0 = reply built, otherwise the exception code to send.
enum ModbusError : uint8_t {
    MbOk = 0,
    MbIllegalFunction = 1,
    MbIllegalDataAddress = 2,
    MbIllegalDataValue = 3,
    MbOutOfMemory = 8,
};

enum MbArea : uint32_t { MbCoils = 0, MbDiscreteInputs = 1, MbHoldingRegisters = 2, MbInputRegisters = 3 };
enum MbStatus : int { MbReplyNormal = 0, MbReplyException = 1, MbReplyTimeout = 2, MbReplyBad = 3 };

// Called once when a request ends: status 0 normal reply, 1 exception reply, 2 no reply
// before the deadline, 3 a reply came that does not fit the request (a read's byte count
// other than its quantity asks for, a write echo of another address) or was damaged.
// During status 0 and 1 the reply is the engine's current frame.
using ReplyCallback = void (*)(MicroModbus *engine, void *context, int status, uint16_t transactionId, uint8_t unit,
                               uint8_t function, uint32_t deadline);

using MbHandler = ModbusError (*)(MicroModbus *engine);

// Access routine of a routine block: direction 0 fills buffer from the block,
// 1 stores buffer into the block; offset already includes RoutineBase.
using MbAccessRoutine = void (*)(uint8_t *buffer, uint32_t offset, uint32_t length, int direction);

struct MbReqRecord {
    uint32_t Deadline = 0;
    ReplyCallback Callback = nullptr;
    void *Context = nullptr;
    // What the reply must echo or carry: the request's first address and its quantity
    // (registers or bits; 1 for single writes).
    uint16_t Address = 0;
    uint16_t Quantity = 0;
    // The request's second word (a single write's value, a multiple write's quantity): a
    // write reply must echo it too, or the device did not store what was sent.
    uint16_t Echo = 0;
};

// One block of this node's registers, keyed by its first register; byte b of the
// block belongs to register key + b / 2. Registers hold host-order 16-bit words.
struct MbVarMapRecord {
    void *Target = nullptr;             // the block's bytes (memory block)
    MbAccessRoutine Routine = nullptr;  // the access routine (routine block)
    uint8_t Size = 0;                   // bytes
    uint32_t IsRoutine : 1 = 0;
    uint32_t RoutineBase : 20 = 0;
    uint32_t Access : 3 = 0;  // 1 = read only: writes acknowledged, nothing changes

    static MbVarMapRecord Memory(void *bytes, uint8_t size, bool readOnly = false)
    {
        MbVarMapRecord r;
        r.Target = bytes;
        r.Size = size;
        r.Access = readOnly ? 1 : 0;
        return r;
    }
    static MbVarMapRecord Routined(MbAccessRoutine routine, uint8_t size, uint32_t base, bool readOnly = false)
    {
        MbVarMapRecord r;
        r.Routine = routine;
        r.Size = size;
        r.IsRoutine = 1;
        r.RoutineBase = base & 0xFFFFF;
        r.Access = readOnly ? 1 : 0;
        return r;
    }
};

class MicroModbus : public MicroTaskBase {
public:
    // Installs the eight standard handlers and registers the engine's task
    // (expiry of pending requests) with the scheduler.
    MicroModbus(uint8_t ownAddress, uint32_t periodMs);
    ~MicroModbus() override;

    // False when the function code already has a handler.
    bool SetHandler(uint8_t function, MbHandler handler);
    // Where frames are built; below 10 bytes of capacity nothing can be built.
    void SetTxBuffer(uint8_t *buffer, uint16_t capacity, uint32_t framing);
    // Forgets the current frames and drops every pending request without a callback.
    void Reset();

    // Master side. On success the request frame is in the transmit buffer (TxLength())
    // and pending; on failure TxLength() is 0 and nothing is pending.
    bool BuildReadRequest(uint32_t area, uint8_t unit, uint16_t address, uint16_t quantity, uint16_t timeoutMs,
                          ReplyCallback callback, void *context, uint8_t forcedFunction = 0);
    // data: n bytes in host order (registers little-endian in memory).
    bool BuildWriteRequest(const uint8_t *data, uint16_t n, uint32_t area, uint8_t unit, uint16_t address,
                           uint16_t timeoutMs, ReplyCallback callback, void *context, uint8_t forcedFunction = 0);

    // 0 invalid frame, 1 reply to a pending request, 2 request to this node handled
    // (reply or exception reply in the transmit buffer), -1 valid frame for another node.
    // The frame is not copied: the Rx getters read the caller's bytes until the next
    // ProcessFrame or Reset, so the buffer must outlive their use.
    int ProcessFrame(const uint8_t *bytes, uint16_t length, uint32_t framing);
    // Byte count of the current read reply (never more than the frame holds); *data then
    // points at the register bytes in host order, followed by zero bytes up to 256.
    int ParseReadResponse(const uint8_t **data);

    // Ends every pending request with the given status (a damaged frame came while they
    // waited: their reply is lost).
    void AbandonPending(int status);

    // Task turn: expires pending requests whose deadline has passed.
    void Run() override;

    // Slave side: the node's register blocks, keyed by first register.
    bool AddBlock(uint16_t firstRegister, const MbVarMapRecord &block)
    {
        return RegisterMap.Insert(firstRegister, block);
    }
    // Bytes read or written through the register blocks, starting at a register (a pad
    // byte skipped for an odd block's half register counts as taken). *storedBytes, when
    // given, gets the bytes that really reached a block.
    uint32_t ReadRegisters(uint16_t start, uint8_t *buffer, uint32_t length);
    uint32_t WriteRegisters(uint16_t start, const uint8_t *buffer, uint32_t length, uint32_t *storedBytes = nullptr);

    uint16_t TxLength() const { return txLength_; }
    uint16_t AcceptedLength() const { return acceptedLength_; }
    int PendingCount() const { return Pending.Count(); }
    bool RxValid() const { return rxValid_; }

    // Fields of the current received frame; all 0 without a valid frame.
    uint8_t RxUnit() const;
    uint8_t RxFunction() const;
    uint16_t RxTransaction() const;
    uint16_t RxProtocol() const;
    // The data after the function code, and how many bytes of it the frame holds.
    const uint8_t *RxData() const;
    uint16_t RxDataLength() const;
    uint32_t RxFraming() const { return rxFraming_; }
    const MbFrameRules &RxRules() const { return *rxRules_; }

    // Building the transmit frame (used by the handlers): the setters do nothing and
    // TxData() is null without a transmit buffer of at least 10 bytes.
    void TxPutUnit(uint8_t unit);
    void TxPutFunction(uint8_t function);
    void TxPutTransaction(uint16_t id);
    void TxPutProtocol(uint16_t id);
    uint8_t *TxData();
    // Room for data bytes after the function code.
    uint16_t TxDataCapacity() const;
    // Completes a frame of n data bytes (CRC or length field); false when it does not fit.
    bool TxFinish(uint16_t n);
    uint16_t TxCapacity() const { return txCapacity_; }
    uint32_t TxFraming() const { return txFraming_; }
    const MbFrameRules &TxRules() const { return *txRules_; }

    MicroMap<uint8_t, MbHandler> Handlers;
    MicroMap<uint16_t, MbVarMapRecord> RegisterMap;
    MicroMap<uint32_t, MbReqRecord> Pending;

    uint16_t TransactionCounter = 0;  // next MBAP transaction id
    uint32_t NoSwap = 0;              // 1 = register bytes travel unchanged; else swapped
    uint8_t OwnAddress = 0;

    static uint32_t RequestKey(uint16_t transactionId, uint8_t unit, uint8_t function)
    {
        return (static_cast<uint32_t>(transactionId) << 16) | (static_cast<uint32_t>(unit) << 8) | (function & 0x7Fu);
    }

private:
    bool AddPending(uint16_t transactionId, uint8_t unit, uint8_t function, uint16_t timeoutMs, ReplyCallback callback,
                    void *context, uint16_t address, uint16_t quantity);
    uint16_t TxStart(uint8_t unit, uint8_t function);
    bool ReplyFits(const MbReqRecord &request, uint8_t function) const;
    bool Validate();
    void BuildException(uint8_t code);

    const uint8_t *rxFrame_ = nullptr;
    uint16_t rxLength_ = 0;
    uint16_t acceptedLength_ = 0;
    uint32_t rxFraming_ = MbRtu;
    const MbFrameRules *rxRules_ = &kMbRtuRules;
    bool rxValid_ = false;
    uint8_t *txBuffer_ = nullptr;
    uint16_t txCapacity_ = 0;
    uint16_t txLength_ = 0;
    uint32_t txFraming_ = MbRtu;
    const MbFrameRules *txRules_ = &kMbRtuRules;
    // The current read reply's data in host order, zero-padded, so that decoders which
    // read a fixed width never run past what the reply carried.
    std::array<uint8_t, 258> replyData_{};
};

#include "core/MicroModbus.h"

#include <algorithm>
#include <cstring>

#include "core/MicroClock.h"

// The eight standard slave handlers live with the register walk.
ModbusError MbHandleReadBits(MicroModbus *engine);
ModbusError MbHandleReadRegisters(MicroModbus *engine);
ModbusError MbHandleWriteSingle(MicroModbus *engine);
ModbusError MbHandleWriteMultiple(MicroModbus *engine);

namespace {
constexpr uint16_t kMinTxCapacity = 10;
constexpr uint8_t kBroadcastUnit = 254;  // taken as addressed to every node

uint16_t Be16(const uint8_t *p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}
void PutBe16(uint8_t *p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}
}  // namespace

MicroModbus::MicroModbus(uint8_t ownAddress, uint32_t periodMs) : OwnAddress(ownAddress)
{
    SetHandler(1, MbHandleReadBits);
    SetHandler(2, MbHandleReadBits);
    SetHandler(3, MbHandleReadRegisters);
    SetHandler(4, MbHandleReadRegisters);
    SetHandler(5, MbHandleWriteSingle);
    SetHandler(6, MbHandleWriteSingle);
    SetHandler(15, MbHandleWriteMultiple);
    SetHandler(16, MbHandleWriteMultiple);
    TaskManager.Register(this, 0, periodMs);
}

MicroModbus::~MicroModbus()
{
    // No callback runs for requests still pending; the base unregisters the task.
    Handlers.Clear();
    RegisterMap.Clear();
    Pending.Clear();
}

bool MicroModbus::SetHandler(uint8_t function, MbHandler handler)
{
    return Handlers.Insert(function, handler);
}

void MicroModbus::SetTxBuffer(uint8_t *buffer, uint16_t capacity, uint32_t framing)
{
    txBuffer_ = buffer;
    txCapacity_ = capacity;
    txFraming_ = framing;
    txRules_ = &MbRules(framing);
    txLength_ = 0;
}

void MicroModbus::Reset()
{
    acceptedLength_ = 0;
    rxValid_ = false;
    txLength_ = 0;
    TransactionCounter = 0;
    Pending.Clear();
}

// ---- transmit frame ----

void MicroModbus::TxPutUnit(uint8_t unit)
{
    if (uint8_t *d = TxData())
        d[-2] = unit;  // unit and function code close the header
}

void MicroModbus::TxPutFunction(uint8_t function)
{
    if (uint8_t *d = TxData())
        d[-1] = function;
}

void MicroModbus::TxPutTransaction(uint16_t id)
{
    if (TxData())
        txRules_->PutTransaction(txBuffer_, id);
}

void MicroModbus::TxPutProtocol(uint16_t id)
{
    if (TxData())
        txRules_->PutProtocol(txBuffer_, id);
}

uint8_t *MicroModbus::TxData()
{
    if (!txBuffer_ || txCapacity_ < kMinTxCapacity)
        return nullptr;
    return txBuffer_ + txRules_->HeaderLength;
}

uint16_t MicroModbus::TxDataCapacity() const
{
    if (!txBuffer_ || txCapacity_ < kMinTxCapacity)
        return 0;
    return static_cast<uint16_t>(txCapacity_ - txRules_->Overhead());
}

bool MicroModbus::TxFinish(uint16_t n)
{
    txLength_ = 0;
    if (!TxData())
        return false;
    const uint32_t total = n + static_cast<uint32_t>(txRules_->Overhead());
    if (total > txCapacity_)
        return false;
    txRules_->Finish(txBuffer_, static_cast<uint16_t>(total));
    txLength_ = static_cast<uint16_t>(total);
    return true;
}

// ---- master side ----

// Unit, function code and, where the framing carries them, a new transaction id and
// protocol 0; returns the transaction id (0 where there is none).
uint16_t MicroModbus::TxStart(uint8_t unit, uint8_t function)
{
    TxPutUnit(unit);
    TxPutFunction(function);
    const uint16_t tid = txRules_->NextTransaction(TransactionCounter);
    TxPutTransaction(tid);
    TxPutProtocol(0);
    return tid;
}

bool MicroModbus::AddPending(uint16_t tid, uint8_t unit, uint8_t function, uint16_t timeoutMs, ReplyCallback callback,
                             void *context, uint16_t address, uint16_t quantity)
{
    MbReqRecord record;
    record.Deadline = GetTickCount32() + timeoutMs;
    record.Callback = callback;
    record.Context = context;
    record.Address = address;
    record.Quantity = quantity;
    if (const uint8_t *d = TxData())
        record.Echo = Be16(d + 2);
    if (!Pending.Insert(RequestKey(tid, unit, function), record)) {
        // Same unit and function still awaiting a reply (or no memory): the frame must
        // not go out, so it is not offered as sendable either.
        txLength_ = 0;
        return false;
    }
    return true;
}

bool MicroModbus::BuildReadRequest(uint32_t area, uint8_t unit, uint16_t address, uint16_t quantity, uint16_t timeoutMs,
                                   ReplyCallback callback, void *context, uint8_t forcedFunction)
{
    txLength_ = 0;
    static constexpr uint8_t kReadCodes[] = {1, 2, 3, 4};
    uint8_t function = area < 4 ? kReadCodes[area] : 3;
    if (forcedFunction != 0)
        function = forcedFunction;
    uint8_t *d = TxData();
    // Under MBAP a 10-byte buffer holds the header but not the 4 data bytes.
    if (!d || TxDataCapacity() < 4)
        return false;
    const uint16_t tid = TxStart(unit, function);
    PutBe16(d, address);
    PutBe16(d + 2, quantity);
    if (!TxFinish(4))
        return false;
    return AddPending(tid, unit, function, timeoutMs, callback, context, address, quantity);
}

bool MicroModbus::BuildWriteRequest(const uint8_t *data, uint16_t n, uint32_t area, uint8_t unit, uint16_t address,
                                    uint16_t timeoutMs, ReplyCallback callback, void *context, uint8_t forcedFunction)
{
    txLength_ = 0;
    if (!data || n == 0)
        return false;
    uint8_t function;
    if (area <= MbDiscreteInputs)
        function = n <= 2 ? 5 : 15;
    else if (area <= MbInputRegisters)
        function = n <= 2 ? 6 : 16;
    else
        function = 16;
    if (forcedFunction != 0)
        function = forcedFunction;
    uint8_t *d = TxData();
    if (!d)
        return false;

    uint16_t dataBytes;
    uint16_t quantity = 1;
    if (function == 5 || function == 6) {
        if (TxDataCapacity() < 4)
            return false;
        uint16_t value = static_cast<uint16_t>(data[0] | (n > 1 ? data[1] << 8 : 0));
        PutBe16(d, address);
        PutBe16(d + 2, value);
        dataBytes = 4;
    } else {
        uint16_t words = static_cast<uint16_t>((n + 1) / 2);
        uint32_t byteCount = words * 2u;
        // The byte count field is one byte; refuse rather than send a count that lies.
        if (byteCount > 255 || 5 + byteCount > TxDataCapacity())
            return false;
        PutBe16(d, address);
        PutBe16(d + 2, words);
        quantity = words;
        d[4] = static_cast<uint8_t>(byteCount);
        std::memcpy(d + 5, data, n);
        if (n & 1)
            d[5 + n] = 0;
        if (NoSwap != 1)
            for (uint32_t i = 0; i < byteCount; i += 2)
                std::swap(d[5 + i], d[6 + i]);
        dataBytes = static_cast<uint16_t>(5 + byteCount);
    }
    const uint16_t tid = TxStart(unit, function);
    if (!TxFinish(dataBytes))
        return false;
    return AddPending(tid, unit, function, timeoutMs, callback, context, address, quantity);
}

void MicroModbus::AbandonPending(int status)
{
    while (Pending.Count() > 0) {
        const MbReqRecord record = Pending.ValueAt(0);
        const uint32_t key = Pending.KeyAt(0);
        Pending.RemoveAt(0);
        if (record.Callback)
            record.Callback(this, record.Context, status, static_cast<uint16_t>(key >> 16),
                            static_cast<uint8_t>(key >> 8), static_cast<uint8_t>(key & 0x7F), record.Deadline);
    }
}

void MicroModbus::Run()
{
    if (Pending.Count() == 0)
        return;
    const uint32_t now = GetTickCount32();
    int i = 0;
    while (i < Pending.Count()) {
        MbReqRecord record = Pending.ValueAt(i);
        // Signed difference: the deadline survives the wrap of the tick counter, and a
        // deadline equal to now has not passed yet.
        if (TickDiff(now, record.Deadline) <= 0) {
            ++i;
            continue;
        }
        uint32_t key = Pending.KeyAt(i);
        // Removed before the call, so a callback that starts a new request finds its slot free.
        Pending.RemoveAt(i);
        if (record.Callback)
            record.Callback(this, record.Context, MbReplyTimeout, static_cast<uint16_t>(key >> 16),
                            static_cast<uint8_t>(key >> 8), static_cast<uint8_t>(key & 0x7F), record.Deadline);
    }
}

// ---- receive side ----

bool MicroModbus::Validate()
{
    if (!rxFrame_)
        return false;
    acceptedLength_ = rxRules_->Accept(rxFrame_, rxLength_);
    return acceptedLength_ != 0;
}

uint8_t MicroModbus::RxUnit() const
{
    return rxValid_ ? rxFrame_[rxRules_->UnitOffset()] : 0;
}
uint8_t MicroModbus::RxFunction() const
{
    return rxValid_ ? rxFrame_[rxRules_->UnitOffset() + 1] : 0;
}
uint16_t MicroModbus::RxTransaction() const
{
    return rxValid_ ? rxRules_->Transaction(rxFrame_) : 0;
}
uint16_t MicroModbus::RxProtocol() const
{
    return rxValid_ ? rxRules_->Protocol(rxFrame_) : 0;
}

const uint8_t *MicroModbus::RxData() const
{
    if (!rxValid_)
        return nullptr;
    return rxFrame_ + rxRules_->HeaderLength;
}

uint16_t MicroModbus::RxDataLength() const
{
    if (!rxValid_)
        return 0;
    return static_cast<uint16_t>(acceptedLength_ - rxRules_->Overhead());
}

void MicroModbus::BuildException(uint8_t code)
{
    uint8_t *d = TxData();
    if (!d)
        return;
    TxPutUnit(RxUnit());
    TxPutFunction(static_cast<uint8_t>(RxFunction() | 0x80));
    TxPutTransaction(RxTransaction());
    TxPutProtocol(RxProtocol());
    d[0] = code;
    TxFinish(1);
}

int MicroModbus::ProcessFrame(const uint8_t *bytes, uint16_t length, uint32_t framing)
{
    acceptedLength_ = 0;
    txLength_ = 0;
    rxFrame_ = bytes;
    rxLength_ = length;
    rxFraming_ = framing;
    rxRules_ = &MbRules(framing);
    rxValid_ = false;
    rxValid_ = Validate();
    if (!rxValid_) {
        acceptedLength_ = 0;
        return 0;
    }

    const uint8_t unit = RxUnit();
    const uint8_t function = RxFunction();
    const uint16_t tid = RxTransaction();
    int index = Pending.Find(RequestKey(tid, unit, function));
    if (index >= 0) {
        MbReqRecord record = Pending.ValueAt(index);
        Pending.RemoveAt(index);
        // RTU carries no transaction id: a late reply to an earlier request looks like ours
        // but for its length or echo. What does not fit is never handed on as the answer.
        const int status = !ReplyFits(record, function) ? MbReplyBad
                           : (function & 0x80)          ? MbReplyException
                                                        : MbReplyNormal;
        if (record.Callback)
            record.Callback(this, record.Context, status, tid, unit, static_cast<uint8_t>(function & 0x7F),
                            record.Deadline);
        return 1;
    }

    if (unit != OwnAddress && unit != kBroadcastUnit)
        return -1;

    int handlerIndex = Handlers.Find(function);
    ModbusError code = MbIllegalFunction;
    if (handlerIndex >= 0 && Handlers.ValueAt(handlerIndex))
        code = Handlers.ValueAt(handlerIndex)(this);
    if (code != MbOk)
        BuildException(code);
    return 2;
}

bool MicroModbus::ReplyFits(const MbReqRecord &request, uint8_t function) const
{
    const uint8_t *d = RxData();
    const uint16_t n = RxDataLength();
    if (function & 0x80)
        return n == 1;  // the exception code alone
    switch (function) {
    case 1:
    case 2:
        return n >= 1 && d[0] == (request.Quantity + 7) / 8 && n == 1u + d[0];
    case 3:
    case 4:
        return n >= 1 && d[0] == request.Quantity * 2u && n == 1u + d[0];
    case 5:
    case 6:
    case 15:
    case 16:
        return n == 4 && Be16(d) == request.Address && Be16(d + 2) == request.Echo;
    default:
        return true;  // a forced function of unknown shape: its caller judges the reply
    }
}

int MicroModbus::ParseReadResponse(const uint8_t **data)
{
    replyData_.fill(0);
    if (data)
        *data = replyData_.data();
    if (!rxValid_)
        return 0;
    const uint8_t function = RxFunction();
    if (function < 1 || function > 4)
        return 0;  // exception replies (bit 7) and writes carry no read data
    const uint16_t available = RxDataLength();
    if (available < 1)
        return 0;
    const uint8_t *rx = RxData();
    // A byte count that claims more than the frame carries is cut to what is there.
    const int count = std::min<int>(rx[0], available - 1);
    std::memcpy(replyData_.data(), rx + 1, static_cast<size_t>(count));
    if (function >= 3 && NoSwap != 1)
        for (int i = 0; i < count; i += 2)
            std::swap(replyData_[static_cast<size_t>(i)], replyData_[static_cast<size_t>(i) + 1]);
    return count;
}

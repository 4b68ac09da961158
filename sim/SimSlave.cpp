#include "sim/SimSlave.h"

#include <cstdlib>

namespace {

constexpr uint8_t kReadHolding = 3, kWriteSingle = 6, kWriteMultiple = 16;
constexpr uint16_t kMaxReadQuantity = 125, kMaxWriteQuantity = 123;
constexpr size_t kMaxRtuFrame = 256;

uint16_t Be16(const uint8_t *p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

}  // namespace

SimSlave::SimSlave(SimDeviceModel &model) : model_(model), engine_(model.Address(), 5)
{
    engine_.SetTxBuffer(tx_.data(), static_cast<uint16_t>(tx_.size()), MbRtu);
    size_t next = 0;
    for (int id = 0; id < vSimVarCount; ++id) {
        const SimVarInfo &v = SimVar(id);
        offset_[static_cast<size_t>(id)] = next;
        if (next + v.Count > image_.size())
            std::abort();  // the image is sized for the map; a larger map is a build mistake
        // Read-only variables are ordinary blocks here: refused writes are screened before the
        // model sees them, so that they get an exception instead of a silent acknowledgement.
        engine_.AddBlock(v.Register, MbVarMapRecord::Memory(&image_[next], static_cast<uint8_t>(v.Count * 2)));
        next += v.Count;
    }
}

void SimSlave::LoadImage()
{
    for (int id = 0; id < vSimVarCount; ++id) {
        const SimVarInfo &v = SimVar(id);
        if (v.Type == SimText)
            SimEncodeText(model_.DeviceType(), Regs(id), v.Count);
        else
            SimEncodeNumber(id, model_.Get(id), Regs(id));
    }
}

std::vector<uint8_t> SimSlave::HandleFrame(const uint8_t *frame, size_t length)
{
    if (frame == nullptr || length > kMaxRtuFrame)
        return {};
    engine_.OwnAddress = model_.Address();
    LoadImage();
    if (engine_.ProcessFrame(frame, static_cast<uint16_t>(length), MbRtu) != 2)
        return {};
    std::vector<int> vars;
    uint8_t code = Screen(&vars);
    const bool write = engine_.RxFunction() != kReadHolding;
    if (code == 0 && write && lockAfter_ != 0 && stored_ >= lockAfter_ &&
        !(vars.size() == 1 && vars[0] == vSaveConfigToRomNow))
        code = SimFailed;
    if (code == 0 && write && engine_.TxLength() > 1 && (tx_[1] & 0x80) == 0)
        code = ApplyWrites(vars);
    if (code != 0)
        return ExceptionReply(code);
    return TakeReply();
}

uint8_t SimSlave::Screen(std::vector<int> *vars) const
{
    uint8_t fn = engine_.RxFunction();
    const uint8_t *d = engine_.RxData();
    uint16_t n = engine_.RxDataLength();
    // The device has holding registers only.
    if (fn != kReadHolding && fn != kWriteSingle && fn != kWriteMultiple)
        return MbIllegalFunction;
    if (d == nullptr || n < 4)
        return MbIllegalDataValue;
    uint16_t start = Be16(d);
    uint16_t quantity = fn == kWriteSingle ? 1 : Be16(d + 2);
    if (fn == kReadHolding && (quantity == 0 || quantity > kMaxReadQuantity || quantity > maxRead_))
        return MbIllegalDataValue;
    if (fn == kWriteMultiple) {
        if (quantity == 0 || quantity > kMaxWriteQuantity || n < 5 || d[4] != quantity * 2 || n < 5u + d[4])
            return MbIllegalDataValue;
    }
    // A write's every register must belong to a variable; a read must start at one, and
    // reads the registers between variables as zero.
    for (uint32_t reg = start; reg < static_cast<uint32_t>(start) + quantity; ++reg) {
        int id = reg <= 0xFFFF ? SimVarAtRegister(static_cast<uint16_t>(reg)) : -1;
        if (id < 0 && (fn != kReadHolding || reg == start))
            return MbIllegalDataAddress;
        if (id >= 0 && (vars->empty() || vars->back() != id))
            vars->push_back(id);
    }
    if (fn == kReadHolding && noBlockReads_ && vars->size() > 1)
        return MbIllegalDataAddress;
    for (int id : *vars)
        if (id == faultVar_)
            return SimFailed;
    if (fn == kReadHolding)
        return 0;
    for (int id : *vars)
        if (SimVar(id).Access == SimR)
            return MbIllegalDataAddress;
    for (int id : *vars)
        if (id == refusedWriteVar_)
            return SimFailed;
    return 0;
}

uint8_t SimSlave::ApplyWrites(const std::vector<int> &vars)
{
    // Check every value first so that a refused request changes nothing.
    std::vector<double> values;
    for (int id : vars) {
        double v = SimDecodeNumber(id, Regs(id));
        if (SimResult r = model_.Check(id, v); r != SimOk)
            return r;
        values.push_back(v);
    }
    for (size_t i = 0; i < vars.size(); ++i) {
        if (SimResult r = model_.Write(vars[i], values[i]); r != SimOk)
            return r;
        ++stored_;
        if (onWrite_) {
            const SimVarInfo &v = SimVar(vars[i]);
            onWrite_(vars[i], values[i], v.Type == SimText ? SimDecodeText(Regs(vars[i]), v.Count) : std::string());
        }
    }
    return 0;
}

std::vector<uint8_t> SimSlave::ExceptionReply(uint8_t code)
{
    std::vector<uint8_t> reply{engine_.RxUnit(), static_cast<uint8_t>(engine_.RxFunction() | 0x80), code};
    uint16_t crc = MbCrc16(reply.data(), reply.size());
    reply.push_back(static_cast<uint8_t>(crc & 0xFF));
    reply.push_back(static_cast<uint8_t>(crc >> 8));
    return reply;
}

std::vector<uint8_t> SimSlave::TakeReply() const
{
    return {tx_.begin(), tx_.begin() + engine_.TxLength()};
}

// The engine against an independent Modbus RTU implementation (libmodbus) over a
// pseudo-terminal pair: libmodbus on the terminal side, our engine on the master side.
#include <modbus.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "MbTestFrames.h"
#include "core/MicroModbus.h"
#include "testkit/Pty.h"
#include "testkit/Wait.h"

namespace {

constexpr uint8_t kUnit = 17;  // libmodbus refuses the units above 247
constexpr int kSilenceMs = 20;

// The terminal side is held open so that the master never sees a hang-up between
// libmodbus's open and close.
class PtyPair : public testkit::Pty {
public:
    PtyPair() { held_ = HoldSlave(); }
    bool Ok() const { return testkit::Pty::Ok() && held_; }
    const std::string &Path() const { return SlavePath(); }
    Bytes ReadFrame(int firstByteMs) { return testkit::Pty::ReadFrame(firstByteMs, kSilenceMs); }
    bool Write(const uint8_t *data, size_t n) { return testkit::Pty::Write(Bytes(data, data + n)); }

private:
    bool held_ = false;
};

modbus_t *OpenRtu(const std::string &path)
{
    modbus_t *ctx = modbus_new_rtu(path.c_str(), 9600, 'N', 8, 1);
    if (!ctx)
        return nullptr;
    modbus_set_slave(ctx, kUnit);
    modbus_set_response_timeout(ctx, 2, 0);
    if (modbus_connect(ctx) != 0) {
        modbus_free(ctx);
        return nullptr;
    }
    return ctx;
}

struct MasterResults {
    bool connected = false;
    int readRc = -2, writeSingleRc = -2, writeMultipleRc = -2, readBackRc = -2, partialRc = -2, badRc = -2;
    int badErrno = 0;
    uint16_t read[2] = {}, readBack[2] = {}, partial[3] = {};
};

TEST(ModbusInteropTest, LibmodbusMasterReadsAndWritesOurRegisters)
{
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    MicroTaskManager manager;
    MicroModbus engine(kUnit, 5);
    std::array<uint8_t, 256> tx{};
    engine.SetTxBuffer(tx.data(), tx.size(), MbRtu);
    uint16_t regs[2] = {0x1234, 0x5678};  // registers 100 and 101, host order
    ASSERT_TRUE(engine.AddBlock(100, MbVarMapRecord::Memory(regs, sizeof regs)));

    MasterResults r;
    std::atomic<bool> done{false};
    std::thread master([&] {
        if (modbus_t *ctx = OpenRtu(pty.Path())) {
            r.connected = true;
            r.readRc = modbus_read_registers(ctx, 100, 2, r.read);
            r.writeSingleRc = modbus_write_register(ctx, 101, 0xBEEF);
            const uint16_t values[2] = {0x0102, 0x0304};
            r.writeMultipleRc = modbus_write_registers(ctx, 100, 2, values);
            r.readBackRc = modbus_read_registers(ctx, 100, 2, r.readBack);
            r.partialRc = modbus_read_registers(ctx, 100, 3, r.partial);
            r.badRc = modbus_read_registers(ctx, 500, 1, r.read);
            r.badErrno = errno;
            modbus_close(ctx);
            modbus_free(ctx);
        }
        done = true;
    });

    // Our side: frames end at line silence; every request to us gets its reply.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int handled = 0;
    std::vector<uint16_t> seenWriteSingle;
    while (!done && std::chrono::steady_clock::now() < deadline) {
        Bytes frame = pty.ReadFrame(50);
        if (frame.empty())
            continue;
        if (engine.ProcessFrame(frame.data(), static_cast<uint16_t>(frame.size()), MbRtu) == 2 && engine.TxLength()) {
            ++handled;
            if (frame[1] == 6)
                seenWriteSingle.push_back(regs[1]);
            pty.Write(tx.data(), engine.TxLength());
        }
    }
    master.join();

    ASSERT_TRUE(r.connected);
    EXPECT_EQ(handled, 6);
    EXPECT_EQ(r.readRc, 2);
    EXPECT_EQ(r.read[0], 0x1234);
    EXPECT_EQ(r.read[1], 0x5678);
    EXPECT_EQ(r.writeSingleRc, 1);
    EXPECT_EQ(seenWriteSingle, std::vector<uint16_t>{0xBEEF});
    EXPECT_EQ(r.writeMultipleRc, 2);
    EXPECT_EQ(r.readBackRc, 2);
    EXPECT_EQ(r.readBack[0], 0x0102);
    EXPECT_EQ(r.readBack[1], 0x0304);
    EXPECT_EQ(regs[0], 0x0102);
    EXPECT_EQ(regs[1], 0x0304);
    EXPECT_EQ(r.partialRc, 3);
    EXPECT_EQ(r.partial[2], 0);
    // Our exception reply is understood as "illegal data address".
    EXPECT_EQ(r.badRc, -1);
    EXPECT_EQ(r.badErrno, EMBXILADD);
}

struct Reply {
    int status = -1;
    uint8_t function = 0;
    Bytes data;
};

void OnReply(MicroModbus *engine, void *context, int status, uint16_t, uint8_t, uint8_t function, uint32_t)
{
    auto *reply = static_cast<Reply *>(context);
    reply->status = status;
    reply->function = function;
    const uint8_t *data = nullptr;
    int n = engine->ParseReadResponse(&data);
    reply->data.assign(data, data + n);
}

TEST(ModbusInteropTest, OurRequestsAreAnsweredByALibmodbusServer)
{
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    modbus_mapping_t *mapping = modbus_mapping_new(0, 0, 200, 0);
    ASSERT_NE(mapping, nullptr);
    mapping->tab_registers[100] = 0x4166;
    mapping->tab_registers[101] = 0x6666;

    std::atomic<bool> ready{false}, stop{false};
    std::thread server([&] {
        modbus_t *ctx = OpenRtu(pty.Path());
        if (!ctx) {
            ready = true;
            return;
        }
        modbus_set_indication_timeout(ctx, 0, 100000);
        ready = true;
        uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
        while (!stop) {
            int rc = modbus_receive(ctx, query);
            if (rc > 0)
                modbus_reply(ctx, query, rc, mapping);
        }
        modbus_close(ctx);
        modbus_free(ctx);
    });
    EXPECT_TRUE(testkit::WaitUntil([&] { return ready.load(); }, 2000));

    MicroTaskManager manager;
    MicroModbus engine(0, 5);
    std::array<uint8_t, 1024> tx{};
    engine.SetTxBuffer(tx.data(), tx.size(), MbRtu);

    // Sends the request just built and feeds back the reply; the result of ProcessFrame.
    auto exchange = [&]() {
        if (engine.TxLength() == 0 || !pty.Write(tx.data(), engine.TxLength()))
            return -9;
        Bytes frame = pty.ReadFrame(2000);
        return engine.ProcessFrame(frame.data(), static_cast<uint16_t>(frame.size()), MbRtu);
    };

    Reply read;
    ASSERT_TRUE(engine.BuildReadRequest(MbHoldingRegisters, kUnit, 100, 2, 2000, OnReply, &read));
    EXPECT_EQ(exchange(), 1);
    EXPECT_EQ(read.status, MbReplyNormal);
    EXPECT_EQ(read.data, (Bytes{0x66, 0x41, 0x66, 0x66}));  // host order, low register first

    Reply single;
    const uint8_t one[2] = {0xEF, 0xBE};
    ASSERT_TRUE(engine.BuildWriteRequest(one, 2, MbHoldingRegisters, kUnit, 10, 2000, OnReply, &single));
    EXPECT_EQ(tx[1], 6);
    EXPECT_EQ(exchange(), 1);
    EXPECT_EQ(single.status, MbReplyNormal);
    EXPECT_EQ(single.function, 6);

    Reply multiple;
    const uint8_t three[3] = {0x41, 0x42, 0x43};
    ASSERT_TRUE(engine.BuildWriteRequest(three, 3, MbHoldingRegisters, kUnit, 20, 2000, OnReply, &multiple));
    EXPECT_EQ(tx[1], 16);
    EXPECT_EQ(exchange(), 1);
    EXPECT_EQ(multiple.status, MbReplyNormal);

    Reply readBack;
    ASSERT_TRUE(engine.BuildReadRequest(MbHoldingRegisters, kUnit, 20, 2, 2000, OnReply, &readBack));
    EXPECT_EQ(exchange(), 1);
    EXPECT_EQ(readBack.data, (Bytes{0x41, 0x42, 0x43, 0x00}));

    Reply bad;
    ASSERT_TRUE(engine.BuildReadRequest(MbHoldingRegisters, kUnit, 500, 1, 2000, OnReply, &bad));
    EXPECT_EQ(exchange(), 1);
    EXPECT_EQ(bad.status, MbReplyException);
    EXPECT_TRUE(bad.data.empty());

    stop = true;
    server.join();
    EXPECT_EQ(mapping->tab_registers[10], 0xBEEF);
    EXPECT_EQ(mapping->tab_registers[20], 0x4241);
    EXPECT_EQ(mapping->tab_registers[21], 0x0043);
    EXPECT_EQ(engine.PendingCount(), 0);
    modbus_mapping_free(mapping);
}

}  // namespace

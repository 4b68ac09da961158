// The stand-in device on the wire: hand-written request frames in, exact reply bytes out.
#include <gtest/gtest.h>

#include <bit>
#include <string>
#include <vector>

#include "sim/SimSlave.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Written out here, bit by bit, rather than borrowed from the engine under test.
uint16_t Crc(const Bytes &b)
{
    uint16_t crc = 0xFFFF;
    for (uint8_t byte : b) {
        crc ^= byte;
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
    }
    return crc;
}

Bytes WithCrc(Bytes b)
{
    uint16_t c = Crc(b);
    b.push_back(static_cast<uint8_t>(c & 0xFF));
    b.push_back(static_cast<uint8_t>(c >> 8));
    return b;
}

Bytes Read(uint8_t unit, uint16_t reg, uint16_t count, uint8_t fn = 3)
{
    return WithCrc({unit, fn, static_cast<uint8_t>(reg >> 8), static_cast<uint8_t>(reg),
                    static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count)});
}

Bytes WriteSingle(uint8_t unit, uint16_t reg, uint16_t value)
{
    return WithCrc({unit, 6, static_cast<uint8_t>(reg >> 8), static_cast<uint8_t>(reg),
                    static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)});
}

// Registers given as they go on the wire (big-endian each).
Bytes WriteMultiple(uint8_t unit, uint16_t reg, const std::vector<uint16_t> &regs)
{
    Bytes b{unit,
            16,
            static_cast<uint8_t>(reg >> 8),
            static_cast<uint8_t>(reg),
            0,
            static_cast<uint8_t>(regs.size()),
            static_cast<uint8_t>(regs.size() * 2)};
    for (uint16_t r : regs) {
        b.push_back(static_cast<uint8_t>(r >> 8));
        b.push_back(static_cast<uint8_t>(r));
    }
    return WithCrc(b);
}

// The two registers of a float, least significant half first.
std::vector<uint16_t> FloatRegs(float f)
{
    uint32_t u = std::bit_cast<uint32_t>(f);
    return {static_cast<uint16_t>(u & 0xFFFF), static_cast<uint16_t>(u >> 16)};
}

Bytes Exception(uint8_t unit, uint8_t fn, uint8_t code)
{
    return WithCrc({unit, static_cast<uint8_t>(fn | 0x80), code});
}

struct Device {
    SimDeviceModel Model{SimModelConfig{}};
    SimSlave Slave{Model};
    Bytes Ask(const Bytes &frame) { return Slave.HandleFrame(frame.data(), frame.size()); }
};

}  // namespace

TEST(SimSlave, FloatSetPointTravelsLowHalfFirst)
{
    Device d;
    // 14.4f = 0x41666666: register 2002 holds 0x6666, register 2003 0x4166.
    EXPECT_EQ(d.Ask(Read(254, 2002, 2)), WithCrc({254, 3, 4, 0x66, 0x66, 0x41, 0x66}));
    // 13.8f = 0x415CCCCD, written the same way round; the reply echoes start and quantity.
    EXPECT_EQ(d.Ask(WithCrc({254, 16, 0x07, 0xD2, 0, 2, 4, 0xCC, 0xCD, 0x41, 0x5C})),
              WithCrc({254, 16, 0x07, 0xD2, 0, 2}));
    EXPECT_EQ(static_cast<float>(d.Model.Get(vChargeMaxU)), 13.8f);
    EXPECT_EQ(d.Ask(Read(254, 2002, 2)), WithCrc({254, 3, 4, 0xCC, 0xCD, 0x41, 0x5C}));
}

TEST(SimSlave, DeviceTypeHasItsFirstCharacterInTheLowByte)
{
    Device d;
    Bytes reply = d.Ask(Read(254, 110, 10));
    ASSERT_EQ(reply.size(), 3u + 20 + 2);
    EXPECT_EQ(reply[2], 20);
    // "Quintavolte 1.11": register 110 = 'u' << 8 | 'Q', sent high byte first.
    EXPECT_EQ(reply[3], 'u');
    EXPECT_EQ(reply[4], 'Q');
    std::string text;
    for (size_t i = 0; i < 20; i += 2) {
        text.push_back(static_cast<char>(reply[3 + i + 1]));
        text.push_back(static_cast<char>(reply[3 + i]));
    }
    EXPECT_EQ(text, std::string("Quintavolte 1.11") + std::string(4, '\0'));

    // A type of exactly 20 characters fills the registers without a terminator.
    SimDeviceModel model(SimModelConfig{"ABCDEFGHIJKLMNOPQRST", 12, {}});
    SimSlave slave(model);
    Bytes req = Read(254, 118, 2);
    EXPECT_EQ(slave.HandleFrame(req.data(), req.size()), WithCrc({254, 3, 4, 'R', 'Q', 'T', 'S'}));
}

TEST(SimSlave, UnsignedAndSignedIntegersKeepTheirRange)
{
    Device d;
    // ChipUID.H1 = 0x8A3C1F07, above 2^31.
    EXPECT_EQ(d.Ask(Read(254, 140, 2)), WithCrc({254, 3, 4, 0x1F, 0x07, 0x8A, 0x3C}));
    d.Model.Step(8 * 3600);               // into the evening: the battery discharges
    Bytes r = d.Ask(Read(254, 6001, 1));  // Extremes.Min_I_Accu, a negative short
    ASSERT_EQ(r.size(), 7u);
    int16_t minI = static_cast<int16_t>((r[3] << 8) | r[4]);
    EXPECT_LT(minI, 0);
    EXPECT_EQ(minI, static_cast<int16_t>(d.Model.Get(vMin_I_Accu)));
}

TEST(SimSlave, RefusedRequestsGetExceptionReplies)
{
    struct Case {
        const char *What;
        Bytes Request;
        uint8_t Fn, Code;
    } cases[] = {
        {"register in a gap", Read(254, 101, 1), 3, 2},
        {"read starting in a gap", Read(254, 2021, 2), 3, 2},
        {"beyond the map", Read(254, 6008, 1), 3, 2},
        {"zero quantity", Read(254, 2000, 0), 3, 3},
        {"quantity above 125", Read(254, 1000, 126), 3, 3},
        {"input registers", Read(254, 2002, 2, 4), 4, 1},
        {"coils", Read(254, 2012, 1, 1), 1, 1},
        {"read-only measurement", WriteSingle(254, 1008, 5), 6, 2},
        {"read-only type text", WriteMultiple(254, 110, {0x4142}), 16, 2},
        {"read-only half of a float", WriteSingle(254, 2017, 0), 6, 2},
        {"address 0", WriteSingle(254, 100, 0), 6, 3},
        {"output mode 6", WriteSingle(254, 4001, 6), 6, 3},
        {"baud rate not standard", WriteMultiple(254, 500, {1234, 0}), 16, 3},
        {"negative charge current", WriteMultiple(254, 2004, FloatRegs(-1.0f)), 16, 3},
        {"not-a-number set-point", WriteMultiple(254, 2002, {0x0000, 0x7FC0}), 16, 3},
        {"byte count not twice the quantity", WithCrc({254, 16, 0x07, 0xD2, 0, 2, 2, 0x41, 0x5C}), 16, 3},
    };
    for (const Case &c : cases) {
        Device d;
        double setPoint = d.Model.Get(vChargeMaxU);
        EXPECT_EQ(d.Ask(c.Request), Exception(254, c.Fn, c.Code)) << c.What;
        EXPECT_EQ(d.Model.Get(vChargeMaxU), setPoint) << c.What;
    }
}

TEST(SimSlave, RefusedMultiVariableWriteChangesNothing)
{
    Device d;
    // Do1.State = 1 is fine, Do1.Mode = 9 is not: neither is taken.
    EXPECT_EQ(d.Ask(WriteMultiple(254, 4000, {1, 9})), Exception(254, 16, 3));
    EXPECT_EQ(d.Model.Get(DoVar(0, doState)), 0);
    ASSERT_EQ(d.Ask(WriteSingle(254, 4001, 3)), WriteSingle(254, 4001, 3));
    EXPECT_EQ(d.Ask(WriteMultiple(254, 4000, {1, 0})), WithCrc({254, 16, 0x0F, 0xA0, 0, 2}));
    EXPECT_EQ(d.Model.Get(DoVar(0, doState)), 1);
    EXPECT_EQ(d.Model.Get(DoVar(0, doMode)), 0);
}

TEST(SimSlave, CommandsAndCountersWork)
{
    Device d;
    d.Model.Step(3600);
    ASSERT_GT(d.Model.Get(vEnergySolar), 0);
    EXPECT_EQ(d.Ask(WriteMultiple(254, 1104, {0, 0})), WithCrc({254, 16, 0x04, 0x50, 0, 2}));
    EXPECT_EQ(d.Model.Get(vEnergySolar), 0.0);
    EXPECT_GT(d.Model.Get(vEnergyLoad), 0.0);

    // Write-only command: the acknowledgement echoes it, a read gives 0.
    ASSERT_EQ(d.Ask(WriteSingle(254, 6007, 1)), WriteSingle(254, 6007, 1));
    EXPECT_EQ(d.Ask(Read(254, 130, 1)), WithCrc({254, 3, 2, 0, 0}));
    // A calibration that cannot be done is not acknowledged.
    ASSERT_EQ(d.Ask(WriteSingle(254, 1206, 1)), WriteSingle(254, 1206, 1));  // zero on the present solar current
    EXPECT_EQ(d.Ask(WriteSingle(254, 1207, 1)), Exception(254, 6, 4));
}

TEST(SimSlave, AnswersItsOwnAddressAnd254AndFollowsAnAddressChange)
{
    Device d;
    EXPECT_EQ(d.Ask(Read(1, 100, 1)), WithCrc({1, 3, 2, 0, 1}));
    EXPECT_TRUE(d.Ask(Read(7, 100, 1)).empty());
    EXPECT_EQ(d.Ask(WriteSingle(254, 100, 7)), WriteSingle(254, 100, 7));
    EXPECT_EQ(d.Ask(Read(7, 100, 1)), WithCrc({7, 3, 2, 0, 7}));
    EXPECT_TRUE(d.Ask(Read(1, 100, 1)).empty());
    EXPECT_EQ(d.Ask(Read(254, 100, 1)), WithCrc({254, 3, 2, 0, 7}));
}

TEST(SimSlave, StaysSilentOnDamagedOrForeignFrames)
{
    Device d;
    Bytes bad = Read(254, 2002, 2);
    bad.back() ^= 1;
    EXPECT_TRUE(d.Ask(bad).empty());
    Bytes cut = Read(254, 2002, 2);
    cut.pop_back();
    EXPECT_TRUE(d.Ask(cut).empty());
    EXPECT_TRUE(d.Ask({}).empty());
    Bytes huge(300, 0x11);
    EXPECT_TRUE(d.Ask(huge).empty());
    // A frame that claims more data than it carries never reads past it.
    EXPECT_EQ(d.Ask(WithCrc({254, 16, 0x07, 0xD2, 0, 2, 4, 0x41})), Exception(254, 16, 3));
}

TEST(SimSlave, FaultVariableGetsException4)
{
    Device d;
    d.Slave.SetFaultVar(vChargeI);
    EXPECT_EQ(d.Ask(Read(254, 2004, 2)), Exception(254, 3, 4));
    EXPECT_EQ(d.Ask(Read(254, 2000, 6)), Exception(254, 3, 4));  // spans it
    EXPECT_EQ(d.Ask(WriteMultiple(254, 2004, FloatRegs(1.0f))), Exception(254, 16, 4));
    EXPECT_EQ(static_cast<float>(d.Model.Get(vChargeI)), 2.6f);
    EXPECT_EQ(d.Ask(Read(254, 2002, 2)).size(), 9u);  // its neighbours still answer
}

TEST(SimSlave, BlockReadsSpanVariablesAndGapsUnlessTheFirmwareSaysOtherwise)
{
    Device d;
    // 2000..2003 are Reg.ChargeMinU and Reg.ChargeMaxU: one read gives both, as two reads do.
    Bytes minU = d.Ask(Read(254, 2000, 2)), maxU = d.Ask(Read(254, 2002, 2));
    Bytes both = d.Ask(Read(254, 2000, 4));
    ASSERT_EQ(both.size(), 13u);
    EXPECT_EQ(Bytes(both.begin() + 3, both.begin() + 7), Bytes(minU.begin() + 3, minU.begin() + 7));
    EXPECT_EQ(Bytes(both.begin() + 7, both.begin() + 11), Bytes(maxU.begin() + 3, maxU.begin() + 7));
    // Registers between variables read as zero.
    Bytes intoGap = d.Ask(Read(254, 2020, 2));
    ASSERT_EQ(intoGap.size(), 9u);
    EXPECT_EQ(intoGap[5], 0);
    EXPECT_EQ(intoGap[6], 0);

    const struct {
        const char *What;
        uint16_t MaxRead;
        bool NoBlocks;
        Bytes Request;
        uint8_t Code;  // 0: answered
    } cases[] = {
        {"within the read limit", 4, false, Read(254, 2000, 4), 0},
        {"beyond the read limit", 3, false, Read(254, 2000, 4), 3},
        {"no blocks: two variables", 125, true, Read(254, 2000, 4), 2},
        {"no blocks: one variable", 125, true, Read(254, 2002, 2), 0},
        {"no blocks: half a variable", 125, true, Read(254, 2003, 1), 0},
    };
    for (const auto &c : cases) {
        Device e;
        e.Slave.SetMaxRead(c.MaxRead);
        e.Slave.SetNoBlockReads(c.NoBlocks);
        const Bytes reply = e.Ask(c.Request);
        if (c.Code != 0)
            EXPECT_EQ(reply, Exception(254, 3, c.Code)) << c.What;
        else
            EXPECT_EQ(reply.size(), 5u + 2 * c.Request[5]) << c.What;
    }
}

// The stand-in device's line side without a terminal: command line, framing by silence,
// and the fault switches.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/MbFraming.h"
#include "sim/SimOptions.h"
#include "sim/SimServer.h"

namespace {

using Bytes = std::vector<uint8_t>;

bool Parse(std::vector<std::string> args, SimOptions *o, std::string *error = nullptr)
{
    std::string e;
    return ParseSimOptions(args, o, error ? error : &e);
}

}  // namespace

TEST(SimOptions, AcceptsTheDocumentedOptions)
{
    SimOptions o;
    ASSERT_TRUE(Parse({"--version",
                       "1.10",
                       "--hour",
                       "6.5",
                       "--speed",
                       "60",
                       "--address",
                       "12",
                       "--state",
                       "/tmp/x",
                       "--link",
                       "/tmp/l",
                       "--delay",
                       "700",
                       "--drop-every",
                       "3",
                       "--bad-crc-every",
                       "4",
                       "--garbage-every",
                       "5",
                       "--exception",
                       "Reg.ChargeI",
                       "--silent",
                       "--line-rate",
                       "19200",
                       "--log",
                       "/tmp/w",
                       "--uid",
                       "00000001FFFFFFFEa0b1c2d3"},
                      &o));
    EXPECT_EQ(o.DeviceType, "Quintavolte 1.10");
    EXPECT_EQ(o.StartHour, 6.5);
    EXPECT_EQ(o.Speed, 60);
    EXPECT_EQ(o.Address, 12);
    EXPECT_EQ(o.StateFile, "/tmp/x");
    EXPECT_EQ(o.LinkPath, "/tmp/l");
    EXPECT_EQ(o.DelayMs, 700u);
    EXPECT_EQ(o.DropEvery, 3u);
    EXPECT_EQ(o.BadCrcEvery, 4u);
    EXPECT_EQ(o.GarbageEvery, 5u);
    EXPECT_EQ(o.ExceptionVar, "Reg.ChargeI");
    EXPECT_TRUE(o.Silent);
    EXPECT_EQ(o.LineRate, 19200u);
    EXPECT_EQ(o.WriteLogPath, "/tmp/w");
    EXPECT_EQ(o.ChipUid, (std::array<uint32_t, 3>{1u, 0xFFFFFFFEu, 0xA0B1C2D3u}));

    SimOptions typed;
    ASSERT_TRUE(Parse({"--type", "Other device 2.0", "--version", "1.10"}, &typed));
    EXPECT_EQ(typed.DeviceType, "Other device 2.0");
    SimOptions plain;
    ASSERT_TRUE(Parse({}, &plain));
    EXPECT_EQ(plain.DeviceType, "Quintavolte 1.11");
    EXPECT_EQ(plain.Address, -1);
    EXPECT_EQ(plain.ChipUid, (std::array<uint32_t, 3>{0x8A3C1F07u, 0x00412233u, 0x1234ABCDu}));
    EXPECT_FALSE(plain.ShowVersion);
    EXPECT_FALSE(o.ShowVersion);
    EXPECT_EQ(plain.LineRate, 9600u);  // paced like the real line unless told otherwise
    SimOptions unpaced;
    ASSERT_TRUE(Parse({"--line-rate", "0"}, &unpaced));
    EXPECT_EQ(unpaced.LineRate, 0u);
}

TEST(SimOptions, ABareVersionAsksForTheProgramsOwn)
{
    // Without a value (last, or before another option) it is the program's version.
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"--version"}, std::vector<std::string>{"--version", "--link", "/tmp/l"}}) {
        SimOptions o;
        ASSERT_TRUE(Parse(args, &o)) << args.size();
        EXPECT_TRUE(o.ShowVersion) << args.size();
        EXPECT_EQ(o.DeviceType, "Quintavolte 1.11");
    }
}

TEST(SimOptions, RefusesWhatItCannotUse)
{
    const std::vector<std::vector<std::string>> bad{
        {"--frobnicate"},
        {"--delay"},
        {"--address", "0"},
        {"--address", "248"},
        {"--address", "12x"},
        {"--hour", "25"},
        {"--speed", "0"},
        {"--speed", "nan"},
        {"--drop-every", "0"},
        {"--drop-every", "-1"},
        {"--line-rate", "100"},  // below any real line
        {"--line-rate", "9600x"},
        {"--log", ""},
        {"--exception", "Reg.NoSuchThing"},
        {"--type", "123456789012345678901"},     // 21 characters do not fit in 10 registers
        {"--version", "1.11 with a long tail"},  // nor does this
        {"--uid", "8a3c1f07004122331234abc"},    // 23 digits
        {"--uid", "8a3c1f07004122331234abcd0"},  // 25
        {"--uid", "8a3c1f0g004122331234abcd"},
        {"--uid", "+a3c1f07004122331234abcd"},
    };
    for (const auto &args : bad) {
        SimOptions o;
        std::string error;
        EXPECT_FALSE(Parse(args, &o, &error)) << args[0];
        EXPECT_FALSE(error.empty()) << args[0];
    }
}

TEST(SimFramer, AFrameEndsAfterTheSilenceGap)
{
    SimFramer f;
    const Bytes a{1, 3, 0}, b{100, 0, 2};
    EXPECT_EQ(f.UsUntilDue(0), -1);
    f.Feed(a.data(), a.size(), 1000);
    f.Feed(b.data(), b.size(), 3000);  // within the gap: same frame
    EXPECT_EQ(f.UsUntilDue(3000), static_cast<int64_t>(SimFramer::kGapUs));
    EXPECT_TRUE(f.Take(3000 + SimFramer::kGapUs - 1).empty());
    EXPECT_EQ(f.Take(3000 + SimFramer::kGapUs), (Bytes{1, 3, 0, 100, 0, 2}));
    EXPECT_EQ(f.UsUntilDue(10000), -1);

    // A run longer than any frame is dropped whole; the next frame after silence is intact.
    Bytes noise(SimFramer::kMaxFrame, 0x55);
    f.Feed(noise.data(), noise.size(), 20000);
    f.Feed(a.data(), a.size(), 21000);
    EXPECT_TRUE(f.Take(21000 + SimFramer::kGapUs).empty());
    EXPECT_EQ(f.UsUntilDue(21000 + SimFramer::kGapUs), -1);
    f.Feed(b.data(), b.size(), 40000);
    EXPECT_EQ(f.Take(40000 + SimFramer::kGapUs), b);
}

TEST(SimFaults, EachSwitchHitsEveryNthReply)
{
    const Bytes reply{254, 3, 2, 0, 1, 0xAB, 0xCD};
    auto run = [&](SimOptions o, int n) {
        SimFaults faults(o);
        std::vector<Bytes> out;
        for (int i = 0; i < n; ++i)
            out.push_back(faults.Shape(reply));
        return out;
    };
    SimOptions drop;
    drop.DropEvery = 3;
    auto d = run(drop, 6);
    EXPECT_EQ(d[0], reply);
    EXPECT_EQ(d[1], reply);
    EXPECT_TRUE(d[2].empty());
    EXPECT_EQ(d[3], reply);
    EXPECT_TRUE(d[5].empty());

    SimOptions crc;
    crc.BadCrcEvery = 2;
    auto c = run(crc, 2);
    EXPECT_EQ(c[0], reply);
    Bytes corrupted = reply;
    corrupted.back() ^= 0xFF;
    EXPECT_EQ(c[1], corrupted);

    SimOptions garbage;
    garbage.GarbageEvery = 1;
    Bytes g = run(garbage, 1)[0];
    ASSERT_GT(g.size(), reply.size());
    EXPECT_EQ(Bytes(g.end() - static_cast<long>(reply.size()), g.end()), reply);

    SimOptions silent;
    silent.Silent = true;
    EXPECT_TRUE(run(silent, 1)[0].empty());

    SimFaults none{SimOptions{}};
    EXPECT_TRUE(none.Shape({}).empty());  // no reply stays no reply, and is not counted
}

TEST(SimFaults, LineConditionsComeAsPiecesWithTheirPauses)
{
    const Bytes reply{254, 3, 2, 0, 1, 0xAB, 0xCD};
    SimOptions o;
    std::string error;
    ASSERT_TRUE(ParseSimOptions({"--garbage-every", "1", "--garbage-byte", "fe", "--garbage-gap", "7", "--split-gap",
                                 "25", "--foreign-every", "2", "--echo", "--baud", "19200"},
                                &o, &error))
        << error;
    EXPECT_TRUE(o.Echo);
    EXPECT_EQ(o.Baud, 19200u);
    SimFaults faults(o);
    using P = std::vector<std::pair<Bytes, uint32_t>>;
    auto pieces = [&] {
        P out;
        for (auto &p : faults.Pieces(reply))
            out.push_back({p.Bytes, p.GapUs});
        return out;
    };
    const Bytes front(reply.begin(), reply.begin() + 3), back(reply.begin() + 3, reply.end());
    EXPECT_EQ(pieces(), (P{{{0xFE}, 0}, {front, 7000}, {back, 25000}}));
    EXPECT_EQ(pieces(), (P{{SimFaults::ForeignFrame(254), 0}, {{0xFE}, 0}, {front, 7000}, {back, 25000}}));
    // The other unit's frame is a whole, valid one, never of the unit that answers.
    for (uint8_t own : {uint8_t{254}, uint8_t{17}, uint8_t{18}}) {
        const Bytes foreign = SimFaults::ForeignFrame(own);
        ASSERT_EQ(foreign.size(), 9u);
        EXPECT_NE(foreign[0], own);
        EXPECT_EQ(MbCrc16(foreign.data(), foreign.size()), 0);
    }

    for (const char *bad : {"100", "x", ""}) {
        SimOptions b;
        EXPECT_FALSE(ParseSimOptions({"--garbage-byte", bad}, &b, &error)) << bad;
    }
    SimOptions b;
    EXPECT_FALSE(ParseSimOptions({"--baud", "12"}, &b, &error));
}

// The bridge's read rounds over the variable table, with the device's replies played by
// the test: a few reads at a time, a round that outlasts the interval goes on, and a
// variable being written is left alone.
#include <gtest/gtest.h>

#include "bridge/ReadRounds.h"
#include "device/ActionManager.h"

namespace {

class RoundsOverTheTable : public testing::Test {
protected:
    void SetUp() override
    {
        manager_.BuildRegisterMap();
        rounds_.Attach(manager_.Shell, {"Reg.ChargeMaxU"});
    }
    // Names marked for reading now.
    std::vector<std::string> Marked()
    {
        std::vector<std::string> names;
        for (const ReadRounds::Watched &w : rounds_.All())
            if (w.Variable->State == mbsRequested)
                names.push_back(w.Name);
        return names;
    }
    // The device answers every marked read; returns what Collect handed on.
    std::vector<std::string> Answer(const std::string &skip = {})
    {
        for (const ReadRounds::Watched &w : rounds_.All())
            if (w.Variable->State == mbsRequested)
                w.Variable->State = mbsDone;
        std::vector<std::string> done;
        rounds_.Collect(skip, [&](ReadRounds::Watched &w) { done.push_back(w.Name); });
        return done;
    }
    using Names = std::vector<std::string>;

    cActionManager manager_;
    ReadRounds rounds_{{"Adc.U_Accu", "Adc.I_Accu", "Reg.ChargeMaxU", "Reg.ChargeI", "Do1.State"}, 1000};
};

TEST_F(RoundsOverTheTable, ReadsAFewAtATimeAndARoundThatOutlastsTheIntervalGoesOn)
{
    EXPECT_TRUE(rounds_.Find("Reg.ChargeMaxU")->Setting);
    EXPECT_FALSE(rounds_.Find("Adc.U_Accu")->Setting);
    rounds_.StartRoundIfDue(0);
    rounds_.Feed("");
    EXPECT_EQ(Marked(), (Names{"Adc.U_Accu", "Adc.I_Accu"}));
    rounds_.Feed("");
    EXPECT_EQ(Marked().size(), ReadRounds::kReadWindow) << "no more until they are answered";
    EXPECT_TRUE(rounds_.Busy());
    EXPECT_EQ(Answer(), (Names{"Adc.U_Accu", "Adc.I_Accu"}));

    // The interval is over before the round is: the new round does not start it again.
    rounds_.StartRoundIfDue(1500);
    rounds_.Feed("");
    EXPECT_EQ(Marked(), (Names{"Reg.ChargeMaxU", "Reg.ChargeI"}));
    EXPECT_EQ(Answer(), (Names{"Reg.ChargeMaxU", "Reg.ChargeI"}));
    rounds_.Feed("");
    // (listed in the table's order)
    EXPECT_EQ(Marked(), (Names{"Adc.U_Accu", "Do1.State"}));
    EXPECT_EQ(Answer(), (Names{"Adc.U_Accu", "Do1.State"}));
    EXPECT_EQ(rounds_.UntilNextRound(1500), 1000);
}

TEST_F(RoundsOverTheTable, AVariableBeingWrittenIsNotReadAndAFailedReadIsNotHandedOn)
{
    rounds_.StartRoundIfDue(0);
    rounds_.Feed("Adc.U_Accu");
    EXPECT_EQ(Marked(), (Names{"Adc.I_Accu", "Reg.ChargeMaxU"}));
    rounds_.Find("Adc.I_Accu")->Variable->State = mbsTimedOut;
    rounds_.Find("Reg.ChargeMaxU")->Variable->State = mbsDone;
    std::vector<std::string> done;
    rounds_.Collect("", [&](ReadRounds::Watched &w) { done.push_back(w.Name); });
    EXPECT_EQ(done, Names{"Reg.ChargeMaxU"});

    // Read again after a write; while the write is under way its end is not taken for a read.
    rounds_.ReadAgain("Reg.ChargeMaxU");
    EXPECT_EQ(Answer("Reg.ChargeMaxU"), Names{});
    EXPECT_EQ(Answer(), Names{"Reg.ChargeMaxU"});

    // The device went away: nothing is read or due.
    rounds_.Detach();
    EXPECT_FALSE(rounds_.Busy());
    EXPECT_EQ(rounds_.Find("Reg.ChargeMaxU")->Variable, nullptr);
}

}  // namespace

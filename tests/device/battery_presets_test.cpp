// The quick-setup figures: every lead-acid voltage triple, the lithium limits, the
// order in which the six settings go to the device, and a preset the write gate refuses.
#include <gtest/gtest.h>

#include <string>

#include "device/ActionManager.h"
#include "device/BatteryPresets.h"

namespace {

struct Six {
    float maxU, minU, current, offU, onU, coef;
};

void ExpectSettings(const BatterySettings &s, const Six &e)
{
    EXPECT_FLOAT_EQ(s.ChargeMaxU, e.maxU);
    EXPECT_FLOAT_EQ(s.ChargeMinU, e.minU);
    EXPECT_FLOAT_EQ(s.ChargeI, e.current);
    EXPECT_FLOAT_EQ(s.LoadOffU, e.offU);
    EXPECT_FLOAT_EQ(s.LoadOnU, e.onU);
    EXPECT_FLOAT_EQ(s.VoltTempCoef, e.coef);
}

TEST(LeadAcidPreset, VoltagesOfEveryConstructionAndUseAt12And24Volts)
{
    struct Case {
        LeadAcidBuild build;
        LeadAcidUse use;
        double off, start, end;  // 12 V, to 0.01
    } cases[] = {
        {LeadAcidBuild::Agm, LeadAcidUse::MaxCapacity, 10.70, 13.40, 14.60},
        {LeadAcidBuild::Agm, LeadAcidUse::MaxServiceLife, 10.90, 13.10, 14.40},
        {LeadAcidBuild::Agm, LeadAcidUse::Recovery, 10.90, 13.50, 16.00},
        {LeadAcidBuild::Gel, LeadAcidUse::MaxCapacity, 10.70, 13.30, 14.60},
        {LeadAcidBuild::Gel, LeadAcidUse::MaxServiceLife, 10.90, 13.00, 14.40},
        {LeadAcidBuild::Gel, LeadAcidUse::Recovery, 10.90, 13.40, 16.00},
        {LeadAcidBuild::Flooded, LeadAcidUse::MaxCapacity, 10.70, 13.60, 15.00},
        {LeadAcidBuild::Flooded, LeadAcidUse::MaxServiceLife, 10.90, 13.30, 14.80},
        {LeadAcidBuild::Flooded, LeadAcidUse::Recovery, 10.90, 13.70, 16.00},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE("construction " + std::to_string(static_cast<int>(c.build)) + ", use " +
                     std::to_string(static_cast<int>(c.use)));
        const BatterySettings s12 = LeadAcidPreset(26.0f, c.use, c.build, NominalVoltage::V12);
        EXPECT_NEAR(s12.LoadOffU, c.off, 0.005);
        EXPECT_NEAR(s12.ChargeMinU, c.start, 0.005);
        EXPECT_NEAR(s12.ChargeMaxU, c.end, 0.005);
        EXPECT_FLOAT_EQ(s12.LoadOnU, 12.0f);
        EXPECT_FLOAT_EQ(s12.VoltTempCoef, -1.95f);

        const BatterySettings s24 = LeadAcidPreset(26.0f, c.use, c.build, NominalVoltage::V24);
        EXPECT_NEAR(s24.LoadOffU, 2 * c.off, 0.01);
        EXPECT_NEAR(s24.ChargeMinU, 2 * c.start, 0.01);
        EXPECT_NEAR(s24.ChargeMaxU, 2 * c.end, 0.01);
        EXPECT_FLOAT_EQ(s24.LoadOnU, 24.0f);
        EXPECT_FLOAT_EQ(s24.ChargeI, s12.ChargeI) << "the current does not depend on the voltage";
    }
}

TEST(LeadAcidPreset, DocumentedSettingSets)
{
    ExpectSettings(LeadAcidPreset(26.0f, LeadAcidUse::MaxServiceLife, LeadAcidBuild::Agm, NominalVoltage::V12),
                   {14.4f, 13.1f, 2.6f, 10.9f, 12.0f, -1.95f});
    // The current of a large battery is not limited.
    ExpectSettings(LeadAcidPreset(65.0f, LeadAcidUse::MaxCapacity, LeadAcidBuild::Flooded, NominalVoltage::V24),
                   {30.0f, 27.2f, 9.75f, 21.4f, 24.0f, -1.95f});
}

TEST(LeadAcidPreset, RecoveryEndsTheChargeAt16Or32VoltsAndUsesTheSmallestCurrent)
{
    for (LeadAcidBuild build : {LeadAcidBuild::Agm, LeadAcidBuild::Gel, LeadAcidBuild::Flooded}) {
        SCOPED_TRACE(static_cast<int>(build));
        EXPECT_FLOAT_EQ(LeadAcidPreset(100.0f, LeadAcidUse::Recovery, build, NominalVoltage::V12).ChargeMaxU, 16.0f);
        EXPECT_FLOAT_EQ(LeadAcidPreset(100.0f, LeadAcidUse::Recovery, build, NominalVoltage::V24).ChargeMaxU, 32.0f);
        EXPECT_FLOAT_EQ(LeadAcidPreset(100.0f, LeadAcidUse::Recovery, build, NominalVoltage::V12).ChargeI, 7.0f);
    }
}

TEST(LeadAcidPreset, ACapacityThatIsNotANumberGivesNoCurrent)
{
    EXPECT_EQ(CapacityFromText(MString(u"abc")), 0.0f);
    EXPECT_EQ(LeadAcidPreset(CapacityFromText(MString(u"")), LeadAcidUse::MaxCapacity, LeadAcidBuild::Agm,
                             NominalVoltage::V12)
                  .ChargeI,
              0.0f);
    EXPECT_FLOAT_EQ(CapacityFromText(MString(u"4.5")), 4.5f);
    EXPECT_FLOAT_EQ(CapacityFromText(MString(u"7,2")), 7.2f);
}

TEST(LithiumPreset, DocumentedSettingSets)
{
    // The current 40 A of 20 Ah is limited to 5 A.
    auto s = LithiumPreset(20.0f, 3, LithiumChemistry::LiPoLiIon);
    ASSERT_TRUE(s);
    ExpectSettings(*s, {12.9f, 11.7f, 5.0f, 9.6f, 10.2f, 0.0f});

    s = LithiumPreset(1.0f, 4, LithiumChemistry::LiFePO4);
    ASSERT_TRUE(s);
    ExpectSettings(*s, {14.6f, 14.0f, 2.0f, 10.0f, 12.0f, 0.0f});
}

TEST(LithiumPreset, CurrentIsTwiceTheCapacityBetweenItsLimits)
{
    struct Case {
        const char16_t *capacityText;
        float current;
    } cases[] = {
        {u"", 0.3f}, {u"0", 0.3f}, {u"0.1", 0.3f}, {u"0.15", 0.3f}, {u"1", 2.0f}, {u"2.5", 5.0f}, {u"3", 5.0f},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(MString(c.capacityText).ToUtf8());
        auto s = LithiumPreset(CapacityFromText(MString(c.capacityText)), 5, LithiumChemistry::LiPoLiIon);
        ASSERT_TRUE(s);
        EXPECT_FLOAT_EQ(s->ChargeI, c.current);
    }
}

TEST(LithiumPreset, CellCountsOutsideThreeToNineAreRefused)
{
    struct Case {
        const char16_t *text;
        bool accepted;
    } cases[] = {
        {u"2", false},     {u"3", true},   {u"9", true},    {u"10", false},
        {u"", false},      {u"9.9", true}, {u"2.9", false}, {u"99999999999999999999999", false},
        {u"1e400", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(MString(c.text).ToUtf8());
        EXPECT_EQ(LithiumPreset(20.0f, CellCountFromText(MString(c.text)), LithiumChemistry::LiPoLiIon).has_value(),
                  c.accepted);
    }
    EXPECT_FLOAT_EQ(LithiumPreset(20.0f, 9, LithiumChemistry::LiPoLiIon)->ChargeMaxU, 38.7f);
}

TEST(BatterySettings, WriteOrder)
{
    BatterySettings s{1, 2, 3, 4, 5, 6};
    const auto writes = InWriteOrder(s);
    const char16_t *names[] = {u"Reg.ChargeMaxU", u"Reg.ChargeMinU", u"Reg.ChargeI",
                               u"Reg.LoadOffU",   u"Reg.LoadOnU",    u"Reg.VoltTempCoef"};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(std::u16string(writes[i].Name), std::u16string(names[i]));
        EXPECT_EQ(writes[i].Value, static_cast<float>(i + 1));
    }
}

// The gate is asked about all six before the first write: a preset it refuses in part
// never reaches the device, so the unconnected device here is never waited on.
TEST(WriteBatterySettings, ASettingTheGateRefusesKeepsEveryWriteBack)
{
    cActionManager device;
    device.BuildRegisterMap();
    const BatteryWriteResult result = WriteBatterySettings(
        device, LeadAcidPreset(1000, LeadAcidUse::MaxCapacity, LeadAcidBuild::Agm, NominalVoltage::V12));
    EXPECT_FALSE(result.AllWritten());
    ASSERT_NE(result.FirstProblem(), nullptr);
    EXPECT_EQ(std::u16string(result.FirstProblem()->Name), u"Reg.ChargeI");
    EXPECT_FLOAT_EQ(result.FirstProblem()->Value, 150.0f);
    EXPECT_EQ(result.FirstProblem()->Refusal.Fault, WriteFault::OutOfRange);
    EXPECT_EQ(result.FirstProblem()->Refusal.Limits.Max, 100.0);
    for (const SettingResult &r : result.Settings) {
        if (std::u16string(r.Name) != u"Reg.ChargeI") {
            EXPECT_EQ(r.Outcome, SettingOutcome::NotTried);
        }
    }
    EXPECT_TRUE(result.Any(SettingOutcome::Refused));
    EXPECT_FALSE(result.Any(SettingOutcome::Written));
}

}  // namespace

// The link options every program shares: the unit address, with its one error text.
#include <gtest/gtest.h>

#include <string>

#include "device/ActionManager.h"
#include "device/LinkOptions.h"

namespace {

TEST(LinkOptions, UnitAddressTakesOneUnitOrTheAnyUnitAddress)
{
    struct Case {
        const char *Text;
        bool Ok;
        int Address;
    };
    const Case cases[] = {
        {"1", true, 1},    {"17", true, 17},  {"247", true, 247}, {"254", true, 254},  // 254: whichever unit
        {"0", false, 0},                                                               // broadcast: nobody answers
        {"248", false, 0}, {"253", false, 0}, {"255", false, 0},  {"256", false, 0},        {"273", false, 0},
        {"-1", false, 0},  {"+5", false, 0},  {" 5", false, 0},   {"5 ", false, 0},         {"0x11", false, 0},
        {"17a", false, 0}, {"abc", false, 0}, {"", false, 0},     {"4294967313", false, 0},
    };
    for (const Case &c : cases) {
        uint8_t address = 99;
        EXPECT_EQ(ParseUnitAddress(c.Text, &address), c.Ok) << "'" << c.Text << "'";
        EXPECT_EQ(address, c.Ok ? c.Address : 99) << "'" << c.Text << "' changed the address";
    }
    EXPECT_EQ(UnitAddressError("abc"),
              "--address wants a unit address from 1 to 247 (or 254, whichever device is on the line), not 'abc'");
}

// Connect builds the table again: the address must outlive that, and reach every variable.
TEST(LinkOptions, EveryVariableOfATableBuiltAgainGoesToTheChosenUnit)
{
    cActionManager manager;
    manager.BuildRegisterMap();
    EXPECT_EQ(manager.UnitAddress(), kAnyUnitAddress);
    manager.SetUnitAddress(17);
    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_GT(manager.Shell.Actions.Count(), 50);
        for (int i = 0; ModbusAction *v = manager.Shell.Actions.At(i); ++i)
            ASSERT_EQ(v->SlaveAddress, 17) << v->Name.ToUtf8() << " pass " << pass;
        manager.BuildRegisterMap();
    }
}

}  // namespace

#include "port/LineSettings.h"

#include <gtest/gtest.h>

namespace {

termios Cooked()
{
    termios t{};
    t.c_iflag = ICRNL | IXON;
    t.c_oflag = OPOST | ONLCR;
    t.c_cflag = CS7 | PARENB | CSTOPB | HUPCL;
    t.c_lflag = ISIG | ICANON | ECHO | IEXTEN;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 5;
    cfsetispeed(&t, B38400);
    cfsetospeed(&t, B38400);
    return t;
}

TEST(LineSettings, WindowsCodesBecomeTheMatchingFraming)
{
    const struct {
        uint32_t baud;
        uint8_t size, stop, parity;
        speed_t speed;
        tcflag_t framing;  // CSIZE | PARENB | PARODD | CMSPAR | CSTOPB
    } cases[] = {
        {9600, 8, 0, 0, B9600, CS8},
        {19200, 8, 0, 1, B19200, CS8 | PARENB | PARODD},  // 1 is odd
        {115200, 8, 0, 2, B115200, CS8 | PARENB},         // 2 is even
        {1200, 7, 2, 3, B1200, CS7 | PARENB | PARODD | CMSPAR | CSTOPB},
        {4800, 5, 0, 4, B4800, CS5 | PARENB | CMSPAR},
        {57600, 6, 2, 0, B57600, CS6 | CSTOPB},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.baud << " " << int(c.size) << " " << int(c.stop) << " " << int(c.parity));
        termios t = Cooked();
        ASSERT_TRUE(BuildLineSettings(t, c.baud, c.size, c.stop, c.parity));
        EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB), c.framing);
        EXPECT_EQ(cfgetospeed(&t), c.speed);
        EXPECT_EQ(cfgetispeed(&t), c.speed);
        // Raw, local, reads that return at once with whatever is there.
        EXPECT_TRUE((t.c_cflag & CLOCAL) && (t.c_cflag & CREAD));
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
        EXPECT_EQ(t.c_iflag & (ICRNL | IXON), 0u);
        EXPECT_EQ(t.c_oflag & OPOST, 0u);
        EXPECT_EQ(t.c_cc[VMIN], 0);
        EXPECT_EQ(t.c_cc[VTIME], 0);
        EXPECT_TRUE(LineSettingsHeld(t, t));
    }
}

TEST(LineSettings, UnknownSettingsAreRefusedAndLeaveTheLineAlone)
{
    const struct {
        uint32_t baud;
        uint8_t size, stop, parity;
    } cases[] = {{14400, 8, 0, 0}, {0, 8, 0, 0},    {9600, 4, 0, 0}, {9600, 9, 0, 0},
                 {9600, 8, 1, 0},  {9600, 8, 3, 0}, {9600, 8, 0, 5}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.baud << " " << int(c.size) << " " << int(c.stop) << " " << int(c.parity));
        termios t = Cooked();
        EXPECT_FALSE(BuildLineSettings(t, c.baud, c.size, c.stop, c.parity));
        EXPECT_EQ(t.c_lflag, Cooked().c_lflag);
        EXPECT_EQ(t.c_cflag, Cooked().c_cflag);
    }
}

TEST(LineSettings, ADroppedSettingIsNoticed)
{
    termios wanted = Cooked();
    ASSERT_TRUE(BuildLineSettings(wanted, 9600, 8, 0, 2));
    termios got = wanted;
    got.c_cflag &= ~PARENB;  // what a pseudo-terminal does
    EXPECT_FALSE(LineSettingsHeld(wanted, got));
    got = wanted;
    cfsetospeed(&got, B19200);
    EXPECT_FALSE(LineSettingsHeld(wanted, got));
}

}  // namespace

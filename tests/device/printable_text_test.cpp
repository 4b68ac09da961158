// Untrusted text made fit for a message or a log line.
#include <gtest/gtest.h>

#include <string>

#include "device/PrintableText.h"

namespace {

TEST(PrintableText, IsOneEscapedLineOfAtMost32Characters)
{
    const struct {
        std::string In;
        std::string Out;
    } cases[] = {
        {"14.2", "14.2"},
        {"1\nquintavolte-cli: mqtt: forged line", "1\\x0aquintavolte-cli: mqtt: forged ..."},
        {"\x1b[2J\r\t", "\\x1b[2J\\x0d\\x09"},
        {std::string("a\0b", 3), "a\\x00b"},
        {"\xff\xfe", "\\xff\\xfe"},           // not UTF-8
        {"\xc3\x28", "\\xc3("},               // a cut sequence
        {"\xe0\x80\xaf", "\\xe0\\x80\\xaf"},  // an overlong '/'
        {"\xc2\x9b"
         "31m",
         "\\u009b31m"},  // the 8-bit CSI
        {"\xe2\x80\xae"
         "cba",
         "\\u202ecba"},                      // right-to-left override
        {"a\\x41", "a\\\\x41"},              // a backslash cannot fake an escape
        {"Ток заряда, А", "Ток заряда, А"},  // letters stay letters
        {std::string(40, 'x'), std::string(32, 'x') + "..."},
        {std::string(32, 'x'), std::string(32, 'x')},
    };
    for (const auto &c : cases) {
        const std::string out = Printable(c.In);
        EXPECT_EQ(out, c.Out);
        for (unsigned char ch : out)
            EXPECT_TRUE(ch >= 0x20 && ch != 0x7f) << out;
    }
    EXPECT_EQ(Printable(std::string(100, '\n'), 3), "\\x0a\\x0a\\x0a...");
}

}  // namespace

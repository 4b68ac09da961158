// Floats whose text must read back to the very float the device holds, for the tests of
// what the command line prints and the bridge publishes. The stand-in keeps them in the
// zero offsets, which take any value, loaded bit for bit from its state file.
#pragma once

#include <bit>
#include <charconv>
#include <cstdint>
#include <fstream>
#include <limits>
#include <string>

#include <gtest/gtest.h>

namespace testutil {

struct FloatCase {
    const char *Name;
    float Value;
    const char *Text;  // as it must be printed
};

inline const FloatCase kExactFloats[] = {
    {"Cal_I_Solar.ZeroOffset", 14.4f, "14.4"},  // once shown as 14.39999
    {"Cal_U_Solar.ZeroOffset", 27.0f, "27"},    // once shown as 26.99999
    {"Cal_I_Accu.ZeroOffset", 0.000123456f, "0.000123456"},
    {"Cal_U_Accu.ZeroOffset", -1.95f, "-1.95"},
    {"Cal_I_Load.ZeroOffset", 1e-38f, "1e-38"},  // below the normal range: 0 on screen
    {"Cal_Temp_External.ZeroOffset", std::numeric_limits<float>::max(), "3.4028235e+38"},
    {"Cal_UserAdcV1.ZeroOffset", 0.0f, "0"},
    {"Cal_UserAdcV2.ZeroOffset", -0.0f, "-0"},
};

// A state file for the stand-in that holds every case.
inline void WriteExactFloatsState(const std::string &path)
{
    std::ofstream out(path);
    for (const FloatCase &c : kExactFloats) {
        char buf[64];
        const auto res = std::to_chars(buf, buf + sizeof buf, double(c.Value));  // exact as a double
        out << c.Name << " = " << std::string(buf, res.ptr) << "\n";
    }
}

// The names joined by the separator.
inline std::string ExactFloatNames(const std::string &separator)
{
    std::string names;
    for (const FloatCase &c : kExactFloats)
        names += (names.empty() ? "" : separator) + std::string(c.Name);
    return names;
}

// The text reads back to the float, bit for bit, and is the shortest that does.
inline void ExpectExactFloat(const FloatCase &c, const std::string &text, const std::string &where)
{
    float back = 0;
    const auto res = std::from_chars(text.data(), text.data() + text.size(), back);
    ASSERT_TRUE(res.ec == std::errc() && res.ptr == text.data() + text.size()) << where << ": '" << text << "'";
    EXPECT_EQ(std::bit_cast<uint32_t>(back), std::bit_cast<uint32_t>(c.Value)) << where << ": " << text;
    EXPECT_EQ(text, c.Text) << where;
}

}  // namespace testutil

// Reading the mask colour typed as hexadecimal digits.

#include "core/hex_color.h"

#include <gtest/gtest.h>

#include <string>

namespace nocturo {
namespace {

struct HexCase {
    const char* text;
    bool ok;
    uint32_t value;
};

TEST(ParseHexColorTest, ReadsDigitsAndRejectsEverythingElse) {
    const HexCase cases[] = {
        // Accepted: the colour layout puts red lowest, blue in the third byte.
        {"00FF0000", true, 16711680u},  // blue
        {"ff", true, 255u},             // red, lower case
        {" 1a ", true, 26u},            // blanks around
        {"\t00ff00\r\n", true, 0xFF00u},
        {"0", true, 0u},
        {"aBcDeF", true, 0xABCDEFu},
        {"FFFFFFFF", true, 0xFFFFFFFFu},  // the top of the range, no overflow
        {"80000000", true, 0x80000000u},
        {"0000000000FF", true, 255u},      // leading zeros beyond eight digits
        {"1FFFFFFFF", true, 0xFFFFFFFFu},  // only the last eight digits count
        // Refused: ok false and 0, never a value made of invalid digits.
        {"", false, 0u},
        {"   ", false, 0u},
        {"G", false, 0u},
        {"12Z4", false, 0u},
        {"-1", false, 0u},
        {"+1", false, 0u},
        {"0x1F", false, 0u},
        {"12 34", false, 0u},       // a blank inside is not trimmed away
        {"FF\xC3\xA9", false, 0u},  // a non-ASCII letter
    };
    for (const HexCase& c : cases) {
        const HexColor parsed = ParseHexColor(c.text);
        EXPECT_EQ(parsed.ok, c.ok) << '"' << c.text << '"';
        EXPECT_EQ(parsed.value, c.value) << '"' << c.text << '"';
    }
}

TEST(ParseHexColorTest, ChannelsOfAColour) {
    const uint32_t colour = ParseHexColor("00FF8040").value;
    EXPECT_EQ(ColorRed(colour), 0x40);
    EXPECT_EQ(ColorGreen(colour), 0x80);
    EXPECT_EQ(ColorBlue(colour), 0xFF);
    EXPECT_EQ(MakeColor(0x40, 0x80, 0xFF), colour);
    // The top byte carries no channel.
    EXPECT_EQ(ColorRed(0xFF000000u), 0);
    EXPECT_EQ(ColorBlue(0xFF000000u), 0);
    // An embedded NUL is not a digit either.
    EXPECT_FALSE(ParseHexColor(std::string("1\0"
                                           "2",
                                           3))
                     .ok);
}

}  // namespace
}  // namespace nocturo

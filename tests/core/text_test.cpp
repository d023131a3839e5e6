#include "core/text.h"

#include <gtest/gtest.h>

#include <optional>

namespace nocturo {
namespace {

TEST(Text, TrimsBlanksAndUpperCasesAsciiOnly) {
    EXPECT_EQ(Trim(" \t\r\n\x01 a b \x1F "), "a b");
    EXPECT_EQ(Trim("   "), "");
    EXPECT_EQ(TrimLeft(" \t\x01 a b "), "a b ");
    EXPECT_EQ(TrimLeft("  "), "");
    EXPECT_EQ(Trim("\xC3\xA9"), "\xC3\xA9");  // bytes above 0x7F are no blanks
    EXPECT_EQ(Upper("a.jpg \xC3\xA9z"), "A.JPG \xC3\xA9Z");
}

TEST(Text, ParsesWholeSigned32BitNumbers) {
    const struct {
        const char* text;
        std::optional<int32_t> value;
    } cases[] = {
        {"0", 0},
        {"007", 7},
        {"+42", 42},
        {"-42", -42},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"", std::nullopt},
        {"+", std::nullopt},
        {"-", std::nullopt},
        {"+-1", std::nullopt},
        {"--1", std::nullopt},
        {" 1", std::nullopt},
        {"1 ", std::nullopt},
        {"0x10", std::nullopt},
        {"1e3", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseInt32(c.text), c.value) << '"' << c.text << '"';
    }
}

}  // namespace
}  // namespace nocturo

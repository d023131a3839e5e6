#pragma once
// The fill colour of a mask as the user types it: hexadecimal digits, red in
// the lowest byte, then green, then blue.

#include <cstdint>
#include <string_view>

namespace nocturo {

/// Outcome of reading a hexadecimal colour text.
struct HexColor {
    bool ok = false;
    uint32_t value = 0;
};

/// Reads text as a hexadecimal number after trimming blanks (and other
/// control characters) from both ends; upper and lower case digits alike.
/// - An empty text, or one holding any character that is not a hexadecimal
///   digit ("G", "12Z4", "0x1F", an inner blank), gives ok false and 0, so a
///   typo never turns into some other colour.
/// - Otherwise ok is true and value is the number modulo 2^32: digits beyond
///   the eighth from the right drop out, so "FFFFFFFF" is 4294967295 and
///   leading zeros of any count change nothing.
HexColor ParseHexColor(std::string_view text);

/// The colour's channels: red is the lowest byte, blue the third.
inline constexpr uint8_t ColorRed(uint32_t color) {
    return static_cast<uint8_t>(color & 0xFF);
}
inline constexpr uint8_t ColorGreen(uint32_t color) {
    return static_cast<uint8_t>((color >> 8) & 0xFF);
}
inline constexpr uint8_t ColorBlue(uint32_t color) {
    return static_cast<uint8_t>((color >> 16) & 0xFF);
}
/// The colour value of three channels.
inline constexpr uint32_t MakeColor(uint8_t red, uint8_t green, uint8_t blue) {
    return static_cast<uint32_t>(red) | (static_cast<uint32_t>(green) << 8) |
           (static_cast<uint32_t>(blue) << 16);
}

}  // namespace nocturo

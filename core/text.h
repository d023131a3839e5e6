#pragma once
// Small text helpers every library shares: blanks, trimming, ASCII upper
// case and whole numbers. Byte strings; no locale is consulted, so a file
// name in any encoding is treated the same everywhere.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nocturo {

/// Blanks in the sense of typed fields and files edited by hand: spaces,
/// tabs, line ends and the other control characters (bytes up to 0x20).
constexpr bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= 0x20;
}

/// The text without blanks at either end.
std::string_view Trim(std::string_view text);

/// The text without blanks at its start.
std::string_view TrimLeft(std::string_view text);

/// The text with ASCII letters upper-cased; other bytes (UTF-8 included)
/// are left as they are.
std::string Upper(std::string_view text);

/// The whole text as a signed 32-bit decimal number: an optional sign ('+'
/// or '-'), then one or more digits (leading zeros allowed), nothing else.
/// Nothing for any other text or a number outside the 32-bit range.
std::optional<int32_t> ParseInt32(std::string_view text);

}  // namespace nocturo

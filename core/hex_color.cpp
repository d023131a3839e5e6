#include "core/hex_color.h"

namespace nocturo {

namespace {

// Blanks in the sense of the edit fields: spaces, tabs, line ends and the
// other control characters.
bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

}  // namespace

HexColor ParseHexColor(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    if (text.empty()) {
        return {};
    }
    // Unsigned arithmetic wraps by definition, so a long text cannot
    // overflow into undefined behaviour: only the last eight digits count.
    uint32_t value = 0;
    for (const char c : text) {
        const int digit = HexDigit(c);
        if (digit < 0) {
            return {};
        }
        value = (value << 4) | static_cast<uint32_t>(digit);
    }
    return {true, value};
}

}  // namespace nocturo

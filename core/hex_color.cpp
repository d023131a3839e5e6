#include "core/hex_color.h"

#include "core/text.h"

namespace nocturo {

namespace {

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
    text = Trim(text);
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

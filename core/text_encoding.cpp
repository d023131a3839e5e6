#include "core/text_encoding.h"

#include <algorithm>

namespace nocturo {
namespace {

void AppendUtf8(std::string& out, unsigned code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Length of the valid UTF-8 sequence at s[i], 0 when there is none. With
// `escapes`, the encoded U+DC80..U+DCFF (ED B2 80 .. ED B3 BF) count as valid.
std::size_t Utf8SequenceLength(std::string_view s, std::size_t i, bool escapes) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = at(i);
    if (c < 0x80) {
        return 1;
    }
    std::size_t n = 0;
    unsigned lo = 0x80;
    unsigned hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) {
            lo = 0xA0;
        } else if (c == 0xED) {
            hi = 0x9F;
            if (escapes && i + 2 < s.size() && (at(i + 1) == 0xB2 || at(i + 1) == 0xB3) &&
                at(i + 2) >= 0x80 && at(i + 2) <= 0xBF) {
                return 3;
            }
        }
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) {
            lo = 0x90;
        } else if (c == 0xF4) {
            hi = 0x8F;
        }
    } else {
        return 0;
    }
    if (i + n > s.size()) {
        return 0;
    }
    if (at(i + 1) < lo || at(i + 1) > hi) {
        return 0;
    }
    for (std::size_t k = 2; k < n; ++k) {
        if (at(i + k) < 0x80 || at(i + k) > 0xBF) {
            return 0;
        }
    }
    return n;
}

// Valid UTF-8 with escapes turned back into the bytes they stand for.
std::string Unescape(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == 0xED && i + 2 < s.size()) {
            const unsigned char c1 = static_cast<unsigned char>(s[i + 1]);
            const unsigned char c2 = static_cast<unsigned char>(s[i + 2]);
            if (c1 == 0xB2 || c1 == 0xB3) {
                // U+DC00 + byte, byte in 0x80..0xFF
                out += static_cast<char>(((c1 & 0x01) << 6) | (c2 & 0x3F) | 0x80);
                i += 3;
                continue;
            }
        }
        out += s[i];
        ++i;
    }
    return out;
}

}  // namespace

std::string Windows1252ToUtf8(std::string_view bytes) {
    // 0x80..0x9F; the unassigned 0x81, 0x8D, 0x8F, 0x90, 0x9D keep their value.
    static constexpr unsigned short kHigh[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (const char ch : bytes) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else if (c < 0xA0) {
            AppendUtf8(out, kHigh[c - 0x80]);
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}

bool IsUtf8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        // ASCII runs are the common case.
        if (static_cast<unsigned char>(bytes[i]) < 0x80) {
            ++i;
            continue;
        }
        const std::size_t n = Utf8SequenceLength(bytes, i, true);
        if (n == 0) {
            return false;
        }
        i += n;
    }
    return true;
}

std::string DecodeLine(std::string_view line) {
    std::string scratch;
    return std::string(DecodeLineInto(line, scratch));
}

std::size_t Utf8SequenceLength(std::string_view bytes, std::size_t at) {
    return at < bytes.size() ? Utf8SequenceLength(bytes, at, false) : 0;
}

std::string_view DecodeLineInto(std::string_view line, std::string& scratch) {
    const bool ascii = std::all_of(line.begin(), line.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) {
        return line;
    }
    scratch = IsUtf8(line) ? Unescape(line) : Windows1252ToUtf8(line);
    return scratch;
}

void AppendEscaped(std::string& out, std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        // ASCII runs are the common case.
        std::size_t run = i;
        while (run < text.size() && static_cast<unsigned char>(text[run]) < 0x80) {
            ++run;
        }
        out.append(text.substr(i, run - i));
        i = run;
        if (i == text.size()) {
            break;
        }
        const std::size_t n = Utf8SequenceLength(text, i, false);
        if (n == 0) {
            AppendUtf8(out, 0xDC00u + static_cast<unsigned char>(text[i]));
            ++i;
        } else {
            out.append(text.substr(i, n));
            i += n;
        }
    }
}

}  // namespace nocturo

#include "core/codecs/jpeg_header.h"

#include <algorithm>
#include <cstring>

#include "core/rgb_image.h"

namespace nocturo::codecs::dc {

namespace {

constexpr int kMaxSide = 65500;  // libjpeg's largest side

bool ReadFrame(const uint8_t* seg, int segLength, JpegHeader& header) {
    if (!header.components.empty() || segLength < 6 || seg[0] != 8) {
        return false;
    }
    header.height = Segment16(seg + 1);
    header.width = Segment16(seg + 3);
    const int count = seg[5];
    if ((count != 1 && count != 3) || segLength != 6 + 3 * count || header.width <= 0 ||
        header.height <= 0 || header.width > kMaxSide || header.height > kMaxSide ||
        int64_t{header.width} * header.height > kMaxPixels) {
        return false;
    }
    for (int c = 0; c < count; ++c) {
        JpegComponent component;
        component.id = seg[6 + 3 * c];
        component.frameIndex = c;
        component.h = seg[7 + 3 * c] >> 4;
        component.v = seg[7 + 3 * c] & 15;
        component.quantTable = seg[8 + 3 * c];
        if (component.h < 1 || component.h > 4 || component.v < 1 || component.v > 4 ||
            component.quantTable > 3) {
            return false;
        }
        header.components.push_back(component);
    }
    return true;
}

bool ReadHuffmanTables(const uint8_t* seg, int segLength, std::array<HuffTable, 4>& dcTables,
                       std::array<HuffTable, 4>& acTables, JpegHeader& header) {
    int at = 0;
    while (at < segLength) {
        if (segLength - at < 17) {
            return false;
        }
        const int cls = seg[at] >> 4;
        const int id = seg[at] & 15;
        int symbolCount = 0;
        for (int i = 0; i < 16; ++i) {
            symbolCount += seg[at + 1 + i];
        }
        if (cls > 1 || id > 3 || symbolCount > 256 || segLength - at - 17 < symbolCount) {
            return false;
        }
        const auto slot = static_cast<size_t>(id);
        HuffTable& table = cls == 0 ? dcTables[slot] : acTables[slot];
        if (!BuildTable(seg + at + 1, seg + at + 17, symbolCount, cls == 1, table)) {
            return false;
        }
        if (cls == 0) {
            header.dcSpec[slot] = seg + at + 1;
        }
        at += 17 + symbolCount;
    }
    return true;
}

bool ReadQuantTables(const uint8_t* seg, int segLength, JpegHeader& header) {
    int at = 0;
    while (at < segLength) {
        const int precision = seg[at] >> 4;
        const int id = seg[at] & 15;
        const int tableBytes = precision == 0 ? 64 : 128;
        if (precision > 1 || id > 3 || segLength - at - 1 < tableBytes) {
            return false;
        }
        const uint8_t* values = seg + at + 1;
        for (int i = 0; i < 64; ++i) {
            const int value = precision == 0 ? values[i] : Segment16(values + 2 * i);
            header.quant[static_cast<size_t>(id)][kNaturalOrder[i]] =
                static_cast<int16_t>(static_cast<uint16_t>(value));
        }
        header.quantDefined[static_cast<size_t>(id)] = true;
        at += 1 + tableBytes;
    }
    return true;
}

// The scan header: every component, in one interleaved scan.
bool ReadScan(const uint8_t* p, const std::array<HuffTable, 4>& dcTables,
              const std::array<HuffTable, 4>& acTables, JpegHeader& header) {
    const int length = Segment16(p + 2);
    const uint8_t* seg = p + 4;
    const int count = length >= 3 ? seg[0] : 0;
    std::vector<JpegComponent>& components = header.components;
    if (count != static_cast<int>(components.size()) || length != 6 + 2 * count) {
        return false;
    }
    for (int i = 0; i < count; ++i) {
        const int id = seg[1 + 2 * i];
        auto found = std::find_if(components.begin(), components.end(),
                                  [&](const JpegComponent& c) { return c.id == id; });
        if (found == components.end() || found->inScan >= 0) {
            return false;
        }
        found->inScan = i;
        found->dcTable = seg[2 + 2 * i] >> 4;
        found->acTable = seg[2 + 2 * i] & 15;
        // libjpeg refuses a DC table with a symbol above 15 once a scan
        // uses it, whether or not the data ever codes it.
        if (found->dcTable > 3 || found->acTable > 3 ||
            !dcTables[static_cast<size_t>(found->dcTable)].defined ||
            dcTables[static_cast<size_t>(found->dcTable)].largestSymbol > 15 ||
            !acTables[static_cast<size_t>(found->acTable)].defined ||
            !header.quantDefined[static_cast<size_t>(found->quantTable)]) {
            return false;
        }
    }
    const uint8_t* tail = seg + 1 + 2 * count;
    return tail[0] == 0 && tail[1] == 63 && tail[2] == 0;
}

}  // namespace

bool ReadJpegHeader(const uint8_t* data, size_t size, std::array<HuffTable, 4>& dcTables,
                    std::array<HuffTable, 4>& acTables, JpegHeader& header,
                    std::vector<JpegSegment>* segments) {
    header = JpegHeader{};
    if (segments != nullptr) {
        segments->clear();
    }
    if (data == nullptr || size < 4 || data[0] != 0xFF || data[1] != 0xD8) {
        return false;
    }
    for (size_t i = 0; i < 4; ++i) {
        dcTables[i].defined = false;
        acTables[i].defined = false;
    }
    const uint8_t* p = data + 2;
    const uint8_t* const end = data + size;
    // Markers up to the start of the scan.
    while (true) {
        if (end - p < 4 || p[0] != 0xFF) {
            return false;
        }
        const int marker = p[1];
        if (marker == 0xFF) {
            ++p;  // fill byte
            continue;
        }
        const int length = Segment16(p + 2);
        if (length < 2 || end - (p + 2) < length) {
            return false;
        }
        if (marker == 0xDA) {
            break;  // the scan
        }
        const uint8_t* seg = p + 4;
        const int segLength = length - 2;
        bool ok = true;
        switch (marker) {
            case 0xC0:
            case 0xC1:  // baseline and extended Huffman
                ok = ReadFrame(seg, segLength, header);
                header.sofAt = static_cast<size_t>(p - data);
                break;
            case 0xC4:
                ok = ReadHuffmanTables(seg, segLength, dcTables, acTables, header);
                break;
            case 0xDB:
                ok = ReadQuantTables(seg, segLength, header);
                break;
            case 0xDD:  // restart interval
                ok = segLength == 2;
                header.restartInterval = ok ? Segment16(seg) : 0;
                break;
            case 0xE0:
                // libjpeg reads JFIF from a segment of at least 14 bytes.
                header.jfif =
                    header.jfif || (segLength >= 14 && std::memcmp(seg, "JFIF\0", 5) == 0);
                break;
            case 0xEE:
                // The last Adobe segment counts.
                if (segLength >= 12 && std::memcmp(seg, "Adobe", 5) == 0) {
                    header.adobe = true;
                    header.adobeTransform = seg[11];
                }
                break;
            default:
                // Other application segments and comments are skipped.
                // Progressive, lossless and arithmetic frames, a second
                // picture, DNL, restart and reserved markers are left to
                // the full decoder, which refuses most of them.
                ok = (marker >= 0xE1 && marker <= 0xEF) || marker == 0xFE;
                break;
        }
        if (!ok) {
            return false;
        }
        if (segments != nullptr) {
            segments->push_back(
                {marker, static_cast<size_t>(p - data), static_cast<size_t>(2 + length)});
        }
        p += 2 + length;
    }
    if (header.components.empty() || !ReadScan(p, dcTables, acTables, header)) {
        return false;
    }
    header.sosAt = static_cast<size_t>(p - data);
    header.scan = p + 2 + Segment16(p + 2);

    // Components in scan order; the MCU grid.
    std::vector<JpegComponent>& components = header.components;
    std::sort(components.begin(), components.end(),
              [](const JpegComponent& a, const JpegComponent& b) { return a.inScan < b.inScan; });
    int blocksPerMcu = 0;
    for (const JpegComponent& c : components) {
        header.hMax = std::max(header.hMax, c.h);
        header.vMax = std::max(header.vMax, c.v);
        blocksPerMcu += c.h * c.v;
    }
    if (blocksPerMcu > 10) {
        return false;
    }
    for (const JpegComponent& c : components) {
        if (header.hMax % c.h != 0 || header.vMax % c.v != 0) {
            return false;  // sampling ratios that are not whole numbers
        }
    }
    return true;
}

}  // namespace nocturo::codecs::dc

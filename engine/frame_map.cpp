#include "engine/frame_map.h"

#include <algorithm>
#include <cstring>
#include <new>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "core/codecs/codecs.h"
#include "core/image_file.h"

namespace nocturo {

bool FrameMap::Reset(int width, int height, int firstIndex) {
    Release();
    if (width <= 0 || height <= 0 || static_cast<int64_t>(width) * height > kMaxPixels ||
        firstIndex < 0) {
        return false;
    }
    try {
        cells_.assign(static_cast<size_t>(width) * height, static_cast<uint32_t>(firstIndex) + 1);
    } catch (const std::bad_alloc&) {
        Release();
        return false;
    }
    width_ = width;
    height_ = height;
    return true;
}

void FrameMap::Release() {
    std::vector<uint32_t>().swap(cells_);
    names_.clear();
    width_ = 0;
    height_ = 0;
}

int FrameMap::IndexAt(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) {
        return -1;
    }
    return static_cast<int>(Row(y)[x]) - 1;
}

void FrameMap::NoteName(int index, const std::string& name) {
    if (index < 0) {
        return;
    }
    if (static_cast<size_t>(index) >= names_.size()) {
        names_.resize(static_cast<size_t>(index) + 1);
    }
    names_[index] = name;
}

const std::string& FrameMap::NameOf(int index) const {
    static const std::string kNone;
    return index >= 0 && static_cast<size_t>(index) < names_.size() ? names_[index] : kNone;
}

std::vector<int> FrameMap::NotedIndices() const {
    std::vector<int> out;
    for (size_t k = 0; k < names_.size(); ++k) {
        if (!names_[k].empty()) {
            out.push_back(static_cast<int>(k));
        }
    }
    return out;
}

namespace {

bool CanRecord(const RgbImage& source, const RgbImage& buffer, const FrameMap& map, int index) {
    return CanCombine(source, buffer) && map.SameSize(buffer) && index >= 0;
}

// One row of AddMax with the record, pixel by pixel: the portable loop, and
// the tail of the vector loop.
void AddMaxRecordRowScalar(uint8_t* __restrict b, const uint8_t* __restrict s,
                           uint32_t* __restrict m, int from, int to, uint32_t value) {
    for (int x = from; x < to; ++x) {
        uint8_t* pb = b + static_cast<size_t>(x) * 3;
        const uint8_t* ps = s + static_cast<size_t>(x) * 3;
        const bool raised = (ps[0] > pb[0]) | (ps[1] > pb[1]) | (ps[2] > pb[2]);
        pb[0] = ps[0] > pb[0] ? ps[0] : pb[0];
        pb[1] = ps[1] > pb[1] ? ps[1] : pb[1];
        pb[2] = ps[2] > pb[2] ? ps[2] : pb[2];
        m[x] = raised ? value : m[x];
    }
}

#if defined(__x86_64__) || defined(__i386__)

// 16 pixels (48 bytes) at a time. The maximum is taken byte by byte; which
// pixels it raised is found by gathering each pixel's three "unchanged"
// bytes with byte shuffles. Groups that nothing raised, most of them late in
// a night, leave the map untouched, so the map costs memory traffic only
// where pixels change.
__attribute__((target("ssse3"))) void AddMaxRecordRowSsse3(uint8_t* b, const uint8_t* s,
                                                           uint32_t* m, int width, uint32_t value) {
    // kGather[r][c]: for pixel p of the group, the byte of channel c in
    // register r (bytes 16r .. 16r + 15 of the group), or 0x80 (none).
    alignas(16) static const struct Masks {
        uint8_t bytes[3][3][16];
        Masks() : bytes() {
            for (int r = 0; r < 3; ++r) {
                for (int c = 0; c < 3; ++c) {
                    for (int p = 0; p < 16; ++p) {
                        const int at = 3 * p + c - 16 * r;
                        bytes[r][c][p] = at >= 0 && at < 16 ? static_cast<uint8_t>(at) : 0x80;
                    }
                }
            }
        }
    } kGather;
    const __m128i valueVector = _mm_set1_epi32(static_cast<int>(value));
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        uint8_t* pb = b + static_cast<size_t>(x) * 3;
        const uint8_t* ps = s + static_cast<size_t>(x) * 3;
        __m128i same[3];
        for (int r = 0; r < 3; ++r) {
            const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pb + 16 * r));
            const __m128i vs = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ps + 16 * r));
            const __m128i vmax = _mm_max_epu8(vb, vs);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(pb + 16 * r), vmax);
            same[r] = _mm_cmpeq_epi8(vmax, vb);
        }
        __m128i unchanged = _mm_set1_epi8(-1);
        for (int c = 0; c < 3; ++c) {
            __m128i channel = _mm_setzero_si128();
            for (int r = 0; r < 3; ++r) {
                const __m128i mask =
                    _mm_load_si128(reinterpret_cast<const __m128i*>(kGather.bytes[r][c]));
                channel = _mm_or_si128(channel, _mm_shuffle_epi8(same[r], mask));
            }
            unchanged = _mm_and_si128(unchanged, channel);
        }
        if (_mm_movemask_epi8(unchanged) == 0xFFFF) {
            continue;
        }
        const __m128i raised = _mm_xor_si128(unchanged, _mm_set1_epi8(-1));
        const __m128i low = _mm_unpacklo_epi8(raised, raised);
        const __m128i high = _mm_unpackhi_epi8(raised, raised);
        const __m128i quarters[4] = {_mm_unpacklo_epi16(low, low), _mm_unpackhi_epi16(low, low),
                                     _mm_unpacklo_epi16(high, high),
                                     _mm_unpackhi_epi16(high, high)};
        for (int q = 0; q < 4; ++q) {
            auto* cell = reinterpret_cast<__m128i*>(m + x + 4 * q);
            const __m128i old = _mm_loadu_si128(cell);
            _mm_storeu_si128(cell, _mm_or_si128(_mm_andnot_si128(quarters[q], old),
                                                _mm_and_si128(quarters[q], valueVector)));
        }
    }
    AddMaxRecordRowScalar(b, s, m, x, width, value);
}

bool HaveSsse3() {
    static const bool have = __builtin_cpu_supports("ssse3");
    return have;
}

#endif

}  // namespace

bool AddMaxRecording(RgbImage& source, RgbImage& buffer, FrameMap& map, int index) {
    if (!CanRecord(source, buffer, map, index)) {
        return false;
    }
    ConvertTo24Bit(source);
    const uint32_t value = static_cast<uint32_t>(index) + 1;
    const int width = buffer.Width();
    for (int y = 0; y < buffer.Height(); ++y) {
#if defined(__x86_64__) || defined(__i386__)
        if (HaveSsse3()) {
            AddMaxRecordRowSsse3(buffer.Row(y), source.Row(y), map.Row(y), width, value);
            continue;
        }
#endif
        AddMaxRecordRowScalar(buffer.Row(y), source.Row(y), map.Row(y), 0, width, value);
    }
    return true;
}

bool AddMaxLumRecording(RgbImage& source, RgbImage& buffer, FrameMap& map, int index) {
    if (!CanRecord(source, buffer, map, index)) {
        return false;
    }
    ConvertTo24Bit(source);
    const uint32_t value = static_cast<uint32_t>(index) + 1;
    const int width = buffer.Width();
    for (int y = 0; y < buffer.Height(); ++y) {
        uint8_t* __restrict b = buffer.Row(y);
        const uint8_t* __restrict s = source.Row(y);
        uint32_t* __restrict m = map.Row(y);
        for (int x = 0; x < width; ++x, b += 3, s += 3) {
            if (Luminosity(s[0], s[1], s[2]) > Luminosity(b[0], b[1], b[2])) {
                b[0] = s[0];
                b[1] = s[1];
                b[2] = s[2];
                m[x] = value;
            }
        }
    }
    return true;
}

// --- the run's recorder -------------------------------------------------------

FrameMapRecorder::FrameMapRecorder(bool wanted, ImageOperation operation, bool firstIsMerged) {
    if (wanted && firstIsMerged && (operation == AddMax || operation == AddMaxLum)) {
        operation_ = operation;
    }
}

void FrameMapRecorder::Start(const RgbImage& result, int index, const std::string& name) {
    if (!Active()) {
        return;
    }
    // Without memory for the map the run goes on without one.
    started_ = map_.Reset(result.Width(), result.Height(), index);
    if (started_) {
        map_.NoteName(index, name);
    }
}

bool FrameMapRecorder::Merge(ImageOperation operation, OperationRecord* record, RgbImage& source,
                             RgbImage& result, int index, const std::string& name) {
    if (!Active() || !started_ || !map_.SameSize(result)) {
        return operation(source, result, record);
    }
    const bool merged = operation_ == AddMax ? AddMaxRecording(source, result, map_, index)
                                             : AddMaxLumRecording(source, result, map_, index);
    if (merged) {
        map_.NoteName(index, name);
    }
    return merged;
}

FrameMap FrameMapRecorder::Finish(const RgbImage& result) {
    FrameMap map;
    if (started_ && map_.SameSize(result)) {
        std::swap(map, map_);
    }
    map_.Release();
    started_ = false;
    return map;
}

// --- reading the map ----------------------------------------------------------

std::vector<int> FramesInArea(const FrameMap& map, int x0, int y0, int x1, int y1) {
    std::vector<int> out;
    if (map.Empty()) {
        return out;
    }
    const int left = std::max(0, std::min(x0, x1));
    const int right = std::min(map.Width() - 1, std::max(x0, x1));
    const int top = std::max(0, std::min(y0, y1));
    const int bottom = std::min(map.Height() - 1, std::max(y0, y1));
    std::vector<uint32_t> seen;
    for (int y = top; y <= bottom; ++y) {
        const uint32_t* row = map.Row(y);
        for (int x = left; x <= right; ++x) {
            // Neighbouring pixels mostly share their frame: skip repeats
            // before the set is searched.
            if (row[x] != 0 && (x == left || row[x] != row[x - 1])) {
                seen.push_back(row[x]);
            }
        }
        if (seen.size() > 4096) {
            std::sort(seen.begin(), seen.end());
            seen.erase(std::unique(seen.begin(), seen.end()), seen.end());
        }
    }
    std::sort(seen.begin(), seen.end());
    seen.erase(std::unique(seen.begin(), seen.end()), seen.end());
    out.reserve(seen.size());
    for (uint32_t v : seen) {
        out.push_back(static_cast<int>(v) - 1);
    }
    return out;
}

int SelectFramesBehind(FileList& list, const FrameMap& map, int x0, int y0, int x1, int y1) {
    std::vector<bool> wanted(static_cast<size_t>(list.Count()), false);
    for (int index : FramesInArea(map, x0, y0, x1, y1)) {
        const std::string& name = map.NameOf(index);
        if (name.empty() || list.Text(index) == name) {
            if (list.IsValidIndex(index)) {
                wanted[index] = true;
            }
            continue;
        }
        // The list changed since the run: follow the name.
        for (int i = 0; i < list.Count(); ++i) {
            if (list.Text(i) == name) {
                wanted[i] = true;
                break;
            }
        }
    }
    FileList::UpdateGuard update(list);
    int first = -1;
    for (int i = 0; i < list.Count(); ++i) {
        list.SetSelected(i, wanted[i]);
        if (wanted[i] && first < 0) {
            first = i;
        }
    }
    return first;
}

// --- saving -------------------------------------------------------------------

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') {
            out += '"';
        }
        out += c;
    }
    out += '"';
    return out;
}

std::string FrameMapCsvName(const std::string& pictureName) {
    const std::string ext = FileExtension(pictureName);
    return pictureName.substr(0, pictureName.size() - ext.size()) + ".csv";
}

bool SaveFrameMap(const FrameMap& map, const std::string& pictureName, const std::string& header,
                  const std::vector<std::pair<int, std::string>>& names, std::string& problem) {
    if (map.Empty()) {
        problem = "there is no frame map";
        return false;
    }
    constexpr uint32_t kMaxValue = 65535;
    std::vector<uint16_t> samples;
    try {
        samples.resize(static_cast<size_t>(map.Width()) * map.Height());
    } catch (const std::bad_alloc&) {
        problem = "not enough memory";
        return false;
    }
    for (int y = 0; y < map.Height(); ++y) {
        const uint32_t* row = map.Row(y);
        uint16_t* out = samples.data() + static_cast<size_t>(y) * map.Width();
        for (int x = 0; x < map.Width(); ++x) {
            if (row[x] > kMaxValue) {
                problem = "a frame beyond the 65,535th entry cannot be stored in 16 bits";
                return false;
            }
            out[x] = static_cast<uint16_t>(row[x]);
        }
    }
    std::vector<uint8_t> png;
    if (!codecs::EncodePngGrey16(map.Width(), map.Height(), samples.data(), png)) {
        problem = "the picture could not be encoded";
        return false;
    }
    std::string csv = header + "\n";
    for (const auto& [index, name] : names) {
        csv += std::to_string(index) + "," + CsvField(name) + "\n";
    }
    const std::string csvName = FrameMapCsvName(pictureName);
    if (csvName == pictureName) {
        problem = "the picture's name must not end in .csv";
        return false;
    }
    if (!SaveFileBytes(pictureName, png)) {
        problem = "cannot write " + pictureName;
        return false;
    }
    if (!SaveFileBytes(csvName, std::vector<uint8_t>(csv.begin(), csv.end()))) {
        problem = "cannot write " + csvName;
        return false;
    }
    return true;
}

}  // namespace nocturo

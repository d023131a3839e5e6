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

bool FrameMap::Assign(int width, int height, const std::vector<uint16_t>& cells) {
    Release();
    if (width <= 0 || height <= 0 || cells.size() != static_cast<size_t>(width) * height) {
        return false;
    }
    try {
        cells_.assign(cells.begin(), cells.end());  // widened in one pass
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

// The recording loops work on one row of cells, 32-bit in a FrameMap and
// 16-bit while a run records (half the memory traffic; see
// FrameMapRecorder).

template <typename Cell>
void AddMaxRecordRowScalar(uint8_t* __restrict b, const uint8_t* __restrict s, Cell* __restrict m,
                           int from, int to, Cell value) {
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

// kGather[r]: for pixel p of a 16-pixel group, the position of its first
// byte in register r (bytes 16r .. 16r + 15 of the group), or 0x80 (none).
struct GatherMasks {
    alignas(16) uint8_t bytes[3][16];
    GatherMasks() : bytes() {
        for (int r = 0; r < 3; ++r) {
            for (int p = 0; p < 16; ++p) {
                const int at = 3 * p - 16 * r;
                bytes[r][p] = at >= 0 && at < 16 ? static_cast<uint8_t>(at) : 0x80;
            }
        }
    }
};
const GatherMasks kGather;

__attribute__((target("ssse3"))) inline void Blend(void* cells, __m128i mask, __m128i value) {
    auto* cell = static_cast<__m128i*>(cells);
    const __m128i old = _mm_loadu_si128(cell);
    _mm_storeu_si128(cell, _mm_or_si128(_mm_andnot_si128(mask, old), _mm_and_si128(mask, value)));
}

// 16 pixels (48 bytes) at a time. The maximum is taken byte by byte; the
// bytes it raised are or-ed with their next two neighbours, so that the
// first byte of each pixel tells whether any of its channels rose, and byte
// shuffles gather those first bytes into one flag per pixel, and the flags
// blend the value into the cells without a branch.
template <typename Cell>
__attribute__((target("ssse3"))) void AddMaxRecordRowSsse3(uint8_t* b, const uint8_t* s, Cell* m,
                                                           int width, Cell value) {
    const __m128i valueVector = sizeof(Cell) == 4 ? _mm_set1_epi32(static_cast<int>(value))
                                                  : _mm_set1_epi16(static_cast<short>(value));
    const __m128i zero = _mm_setzero_si128();
    // Read once: the stores below could alias the table as far as the
    // compiler knows.
    const __m128i gather[3] = {_mm_load_si128(reinterpret_cast<const __m128i*>(kGather.bytes[0])),
                               _mm_load_si128(reinterpret_cast<const __m128i*>(kGather.bytes[1])),
                               _mm_load_si128(reinterpret_cast<const __m128i*>(kGather.bytes[2]))};
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        uint8_t* pb = b + static_cast<size_t>(x) * 3;
        const uint8_t* ps = s + static_cast<size_t>(x) * 3;
        __m128i rose[3];
        for (int r = 0; r < 3; ++r) {
            const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pb + 16 * r));
            const __m128i vs = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ps + 16 * r));
            const __m128i vmax = _mm_max_epu8(vb, vs);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(pb + 16 * r), vmax);
            // 0xFF where the byte rose: the maximum differs from the old byte.
            rose[r] = _mm_andnot_si128(_mm_cmpeq_epi8(vmax, vb), _mm_set1_epi8(-1));
        }
        // Byte i or-ed with bytes i + 1 and i + 2 of the group (the last
        // register's tail takes zeros: no pixel starts there).
        const __m128i next[3] = {rose[1], rose[2], zero};
        __m128i flags = zero;
        for (int r = 0; r < 3; ++r) {
            const __m128i any =
                _mm_or_si128(rose[r], _mm_or_si128(_mm_alignr_epi8(next[r], rose[r], 1),
                                                   _mm_alignr_epi8(next[r], rose[r], 2)));
            flags = _mm_or_si128(flags, _mm_shuffle_epi8(any, gather[r]));
        }
        // Every group is blended, raised or not: which groups rise follows
        // the sky's noise, and branching on it costs more in mispredictions
        // than the blend of cells that keep their value.
        const __m128i low = _mm_unpacklo_epi8(flags, flags);
        const __m128i high = _mm_unpackhi_epi8(flags, flags);
        if constexpr (sizeof(Cell) == 2) {
            Blend(m + x, low, valueVector);
            Blend(m + x + 8, high, valueVector);
        } else {
            Blend(m + x, _mm_unpacklo_epi16(low, low), valueVector);
            Blend(m + x + 4, _mm_unpackhi_epi16(low, low), valueVector);
            Blend(m + x + 8, _mm_unpacklo_epi16(high, high), valueVector);
            Blend(m + x + 12, _mm_unpackhi_epi16(high, high), valueVector);
        }
    }
    AddMaxRecordRowScalar(b, s, m, x, width, value);
}

bool HaveSsse3() {
    static const bool have = __builtin_cpu_supports("ssse3");
    return have;
}

#endif

template <typename Cell>
void AddMaxRecordRow(uint8_t* b, const uint8_t* s, Cell* m, int width, Cell value) {
#if defined(__x86_64__) || defined(__i386__)
    if (HaveSsse3()) {
        AddMaxRecordRowSsse3(b, s, m, width, value);
        return;
    }
#endif
    AddMaxRecordRowScalar(b, s, m, 0, width, value);
}

template <typename Cell>
void AddMaxLumRecordRow(uint8_t* __restrict b, const uint8_t* __restrict s, Cell* __restrict m,
                        int width, Cell value) {
    for (int x = 0; x < width; ++x, b += 3, s += 3) {
        if (Luminosity(s[0], s[1], s[2]) > Luminosity(b[0], b[1], b[2])) {
            b[0] = s[0];
            b[1] = s[1];
            b[2] = s[2];
            m[x] = value;
        }
    }
}

// Merges source into buffer with AddMax (addMax) or AddMaxLum, recording
// value in the cells of every pixel it changed; cells(y) is row y of the
// record. The caller has checked the sizes.
template <typename Cell, typename Rows>
void MergeRecording(bool addMax, RgbImage& source, RgbImage& buffer, Rows cells, Cell value) {
    ConvertTo24Bit(source);
    const int width = buffer.Width();
    for (int y = 0; y < buffer.Height(); ++y) {
        if (addMax) {
            AddMaxRecordRow(buffer.Row(y), source.Row(y), cells(y), width, value);
        } else {
            AddMaxLumRecordRow(buffer.Row(y), source.Row(y), cells(y), width, value);
        }
    }
}

bool CanRecord(const RgbImage& source, const RgbImage& buffer, const FrameMap& map, int index) {
    return CanCombine(source, buffer) && map.SameSize(buffer) && index >= 0;
}

}  // namespace

bool AddMaxRecording(RgbImage& source, RgbImage& buffer, FrameMap& map, int index) {
    if (!CanRecord(source, buffer, map, index)) {
        return false;
    }
    MergeRecording(
        true, source, buffer, [&](int y) { return map.Row(y); }, static_cast<uint32_t>(index) + 1);
    return true;
}

bool AddMaxLumRecording(RgbImage& source, RgbImage& buffer, FrameMap& map, int index) {
    if (!CanRecord(source, buffer, map, index)) {
        return false;
    }
    MergeRecording(
        false, source, buffer, [&](int y) { return map.Row(y); }, static_cast<uint32_t>(index) + 1);
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
    started_ = false;
    width_ = result.Width();
    height_ = result.Height();
    map_.Release();
    std::vector<uint16_t>().swap(narrow_);
    // Without memory for the record the run goes on without one.
    if (index < kNarrowLimit) {
        try {
            narrow_.assign(static_cast<size_t>(width_) * height_, static_cast<uint16_t>(index + 1));
            started_ = true;
        } catch (const std::bad_alloc&) {
            std::vector<uint16_t>().swap(narrow_);
        }
    } else {
        started_ = map_.Reset(width_, height_, index);
    }
    if (started_) {
        names_.clear();
        NoteName(index, name);
    }
}

void FrameMapRecorder::NoteName(int index, const std::string& name) {
    names_.emplace_back(index, name);
}

bool FrameMapRecorder::Widen() {
    if (!map_.Assign(width_, height_, narrow_)) {
        return false;
    }
    std::vector<uint16_t>().swap(narrow_);
    return true;
}

bool FrameMapRecorder::Merge(ImageOperation operation, OperationRecord* record, RgbImage& source,
                             RgbImage& result, int index, const std::string& name) {
    const bool fits = result.Width() == width_ && result.Height() == height_;
    if (!Active() || !started_ || !fits || index < 0) {
        return operation(source, result, record);
    }
    if (!CanCombine(source, result)) {
        return false;  // as the operation itself refuses it
    }
    const bool addMax = operation_ == AddMax;
    if (!narrow_.empty() && index >= kNarrowLimit && !Widen()) {
        started_ = false;  // no memory for the wider record: go on without one
        std::vector<uint16_t>().swap(narrow_);
        return operation(source, result, record);
    }
    if (!narrow_.empty()) {
        uint16_t* cells = narrow_.data();
        const size_t width = static_cast<size_t>(width_);
        MergeRecording(
            addMax, source, result, [&](int y) { return cells + y * width; },
            static_cast<uint16_t>(index + 1));
    } else {
        MergeRecording(
            addMax, source, result, [&](int y) { return map_.Row(y); },
            static_cast<uint32_t>(index) + 1);
    }
    NoteName(index, name);
    return true;
}

FrameMap FrameMapRecorder::Finish(const RgbImage& result) {
    FrameMap map;
    const bool fits = result.Width() == width_ && result.Height() == height_;
    if (started_ && fits && (narrow_.empty() || Widen())) {
        std::swap(map, map_);
        for (const auto& [index, name] : names_) {
            map.NoteName(index, name);
        }
    }
    map_.Release();
    std::vector<uint16_t>().swap(narrow_);
    names_.clear();
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

#include "engine/frame_map.h"

#include <algorithm>
#include <cstring>
#include <new>

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

// Pixels handled per group: 8 pixels are 24 bytes, three 64-bit words.
constexpr int kGroup = 8;

}  // namespace

bool AddMaxRecording(RgbImage& source, RgbImage& buffer, FrameMap& map, int index) {
    if (!CanRecord(source, buffer, map, index)) {
        return false;
    }
    ConvertTo24Bit(source);
    const uint32_t value = static_cast<uint32_t>(index) + 1;
    const int width = buffer.Width();
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    // Which bytes the source raised, for one row. The maximum and this mask
    // are one byte loop that vectorises like AddMax's own; only groups of
    // pixels with a raised byte are then visited pixel by pixel, and late in
    // a night most groups have none.
    thread_local std::vector<uint8_t> raised;
    raised.resize(rowBytes + kGroup * 3);
    for (int y = 0; y < buffer.Height(); ++y) {
        uint8_t* __restrict b = buffer.Row(y);
        const uint8_t* __restrict s = source.Row(y);
        uint8_t* __restrict r = raised.data();
        for (size_t x = 0; x < rowBytes; ++x) {
            const uint8_t bb = b[x];
            const uint8_t ss = s[x];
            r[x] = ss > bb ? 1 : 0;
            b[x] = ss > bb ? ss : bb;
        }
        uint32_t* m = map.Row(y);
        int x = 0;
        for (; x + kGroup <= width; x += kGroup) {
            uint64_t words[3];
            std::memcpy(words, r + static_cast<size_t>(x) * 3, sizeof words);
            if ((words[0] | words[1] | words[2]) == 0) {
                continue;
            }
            const uint8_t* rp = r + static_cast<size_t>(x) * 3;
            for (int k = 0; k < kGroup; ++k, rp += 3) {
                if ((rp[0] | rp[1] | rp[2]) != 0) {
                    m[x + k] = value;
                }
            }
        }
        for (; x < width; ++x) {
            const uint8_t* rp = r + static_cast<size_t>(x) * 3;
            if ((rp[0] | rp[1] | rp[2]) != 0) {
                m[x] = value;
            }
        }
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

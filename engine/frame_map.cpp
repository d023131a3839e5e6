#include "engine/frame_map.h"

// The frame map itself, what reads it and what saves it; the merges that
// record it are in frame_map_kernels.cpp, the run's recorder in
// frame_map_recorder.cpp.

#include <algorithm>
#include <cstring>
#include <new>

#include "core/codecs/codecs.h"
#include "core/image_file.h"
#include "lang/language_strings.h"

namespace nocturo {

bool FrameMap::Allocate(int width, int height, bool wide) {
    Release();
    if (width <= 0 || height <= 0 || static_cast<int64_t>(width) * height > kMaxPixels) {
        return false;
    }
    const size_t size = static_cast<size_t>(width) * height;
    if (!(wide ? wide_.Allocate(size) : narrow_.Allocate(size))) {
        Release();
        return false;
    }
    width_ = width;
    height_ = height;
    return true;
}

bool FrameMap::Reset(int width, int height, int firstIndex) {
    const uint32_t value = static_cast<uint32_t>(firstIndex) + 1;
    if (firstIndex < 0 || !Allocate(width, height, value > kNarrowMax)) {
        Release();
        return false;
    }
    if (narrow_.empty()) {
        std::fill_n(wide_.data(), Size(), value);
    } else {
        std::fill_n(narrow_.data(), Size(), static_cast<uint16_t>(value));
    }
    return true;
}

void FrameMap::Release() {
    narrow_.Release();
    wide_.Release();
    names_.clear();
    width_ = 0;
    height_ = 0;
}

bool FrameMap::Widen() {
    if (narrow_.empty()) {
        return true;
    }
    if (!wide_.Allocate(Size())) {
        return false;
    }
    std::copy_n(narrow_.data(), Size(), wide_.data());
    narrow_.Release();
    return true;
}

uint32_t* FrameMap::Row(int y) {
    return Widen() && !Empty() ? wide_.data() + static_cast<size_t>(y) * width_ : nullptr;
}

int FrameMap::IndexAt(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) {
        return -1;
    }
    return static_cast<int>(Cell(x, y)) - 1;
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
    auto scan = [&](const auto* cells) {
        for (int y = top; y <= bottom; ++y) {
            const auto* row = cells + static_cast<size_t>(y) * map.Width();
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
    };
    if (map.NarrowCells() != nullptr) {
        scan(map.NarrowCells());
    } else {
        scan(map.WideCells());
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
        problem = Lng().txtNoFrameMap;
        return false;
    }
    // 16-bit cells are the picture's samples; 32-bit ones are narrowed
    // into a copy when every value fits.
    const uint16_t* samples = map.NarrowCells();
    std::vector<uint16_t> narrowed;
    if (samples == nullptr) {
        const size_t size = static_cast<size_t>(map.Width()) * map.Height();
        const uint32_t* cells = map.WideCells();
        if (std::any_of(cells, cells + size, [](uint32_t v) { return v > FrameMap::kNarrowMax; })) {
            problem = Lng().txtFrameMapFull;
            return false;
        }
        try {
            narrowed.assign(cells, cells + size);
        } catch (const std::bad_alloc&) {
            problem = Lng().txtNotEnoughMemory;
            return false;
        }
        samples = narrowed.data();
    }
    std::vector<uint8_t> png;
    if (!codecs::EncodePngGrey16(map.Width(), map.Height(), samples, png)) {
        problem = Lng().txtPictureNotEncoded;
        return false;
    }
    std::string csv = header + "\n";
    for (const auto& [index, name] : names) {
        csv += std::to_string(index) + "," + CsvField(name) + "\n";
    }
    const std::string csvName = FrameMapCsvName(pictureName);
    if (csvName == pictureName) {
        problem = Lng().txtFrameMapCsvName;
        return false;
    }
    if (!SaveFileBytes(pictureName, png)) {
        problem = FormatText(Lng().txtCannotWriteName, pictureName);
        return false;
    }
    if (!SaveFileBytes(csvName, std::vector<uint8_t>(csv.begin(), csv.end()))) {
        problem = FormatText(Lng().txtCannotWriteName, csvName);
        return false;
    }
    return true;
}

}  // namespace nocturo

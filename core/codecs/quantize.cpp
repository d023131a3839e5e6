// Colour reduction: an exact palette when the picture has few enough colours,
// otherwise variance-based median cut over a colour histogram, refined by
// k-means, and nearest-colour mapping of every pixel.
//
// The histogram counts exact colours while there are not too many of them;
// a dark sky with faint noise has a few thousand, all within a few levels of
// black, and coarse bins there would turn its gradients into steps. Pictures
// with more colours than that fall back to bins of 6 bits per channel.
//
// No dithering: star pictures are mostly black with small bright points, and
// error diffusion would sprinkle noise into the black sky, smear single-pixel
// stars, and make consecutive frames of a time-lapse flicker with a pattern
// that changes from frame to frame.

#include "core/codecs/quantize.h"

#include <algorithm>
#include <limits>

namespace nocturo::codecs {

namespace {

using Colour = std::array<uint8_t, 3>;  // red, green, blue

inline uint32_t Key(const uint8_t* bgr) {
    return (uint32_t{bgr[2]} << 16) | (uint32_t{bgr[1]} << 8) | bgr[0];
}

// Palette of a picture with at most maxColours colours, in order of first
// appearance; false as soon as one colour too many turns up.
bool ExactPalette(const RgbImage& image, int maxColours, PaletteImage& result) {
    constexpr int kSlotBits = 10;  // 1024 slots for at most 256 colours
    constexpr size_t kSlots = size_t{1} << kSlotBits;
    constexpr uint32_t kEmpty = 0xFFFFFFFFu;  // no 24-bit key has this value
    std::array<uint32_t, kSlots> keys;
    std::array<uint8_t, kSlots> slotIndex{};
    keys.fill(kEmpty);

    const int width = image.Width();
    result.palette.clear();
    result.indices.resize(static_cast<size_t>(width) * static_cast<size_t>(image.Height()));
    uint8_t* index = result.indices.data();
    uint32_t lastKey = kEmpty;
    uint8_t lastIndex = 0;
    for (int y = 0; y < image.Height(); ++y) {
        const uint8_t* p = image.Row(y);
        for (int x = 0; x < width; ++x, p += 3) {
            const uint32_t key = Key(p);
            if (key != lastKey) {
                size_t slot = (key * 2654435761u) >> (32 - kSlotBits);
                while (keys[slot] != key && keys[slot] != kEmpty) {
                    slot = (slot + 1) & (kSlots - 1);
                }
                if (keys[slot] == kEmpty) {
                    if (static_cast<int>(result.palette.size()) == maxColours) {
                        return false;
                    }
                    keys[slot] = key;
                    slotIndex[slot] = static_cast<uint8_t>(result.palette.size());
                    result.palette.push_back({p[2], p[1], p[0]});
                }
                lastKey = key;
                lastIndex = slotIndex[slot];
            }
            *index++ = lastIndex;
        }
    }
    return true;
}

// Histogram of 6 bits per channel. Each bin also sums its pixels, so a box
// of bins knows the true mean of its colours, not just a bin centre.
constexpr int kBinBits = 6;
constexpr int kBinShift = 8 - kBinBits;
constexpr size_t kBins = size_t{1} << (3 * kBinBits);

inline uint32_t BinOf(int red, int green, int blue) {
    return (static_cast<uint32_t>(red >> kBinShift) << (2 * kBinBits)) |
           (static_cast<uint32_t>(green >> kBinShift) << kBinBits) |
           static_cast<uint32_t>(blue >> kBinShift);
}

// A weighted point of the histogram: an exact colour with its pixel count,
// or a bin with the mean of its pixels.
struct Cell {
    double mean[3];  // red, green, blue
    double weight;
};

// Most distinct colours counted exactly; more fall back to bins.
constexpr size_t kMaxExactColours = size_t{1} << 17;

bool ExactHistogram(const RgbImage& image, std::vector<Cell>& cells) {
    constexpr int kSlotBits = 18;  // twice kMaxExactColours: short probes
    constexpr size_t kSlots = size_t{1} << kSlotBits;
    constexpr uint32_t kEmpty = 0xFFFFFFFFu;
    std::vector<uint32_t> keys(kSlots, kEmpty);
    std::vector<uint32_t> counts(kSlots, 0);
    size_t used = 0;
    for (int y = 0; y < image.Height(); ++y) {
        const uint8_t* p = image.Row(y);
        const uint8_t* end = p + image.Stride();
        while (p < end) {
            const uint32_t key = Key(p);
            // Runs of one colour (black sky) are counted in one go.
            uint32_t run = 0;
            do {
                ++run;
                p += 3;
            } while (p < end && Key(p) == key);
            size_t slot = (key * 2654435761u) >> (32 - kSlotBits);
            while (keys[slot] != key && keys[slot] != kEmpty) {
                slot = (slot + 1) & (kSlots - 1);
            }
            if (keys[slot] == kEmpty) {
                if (used == kMaxExactColours) {
                    return false;
                }
                keys[slot] = key;
                ++used;
            }
            counts[slot] += run;
        }
    }
    cells.clear();
    cells.reserve(used);
    for (size_t slot = 0; slot < kSlots; ++slot) {
        if (keys[slot] != kEmpty) {
            const uint32_t key = keys[slot];
            cells.push_back(
                {{static_cast<double>(key >> 16), static_cast<double>((key >> 8) & 0xFF),
                  static_cast<double>(key & 0xFF)},
                 static_cast<double>(counts[slot])});
        }
    }
    return true;
}

void BinnedHistogram(const RgbImage& image, std::vector<Cell>& cells) {
    struct Bin {
        uint64_t sum[3];  // red, green, blue
        uint64_t count;
    };
    std::vector<Bin> bins(kBins, Bin{{0, 0, 0}, 0});
    for (int y = 0; y < image.Height(); ++y) {
        const uint8_t* p = image.Row(y);
        for (int x = 0; x < image.Width(); ++x, p += 3) {
            Bin& bin = bins[BinOf(p[2], p[1], p[0])];
            bin.sum[0] += p[2];
            bin.sum[1] += p[1];
            bin.sum[2] += p[0];
            ++bin.count;
        }
    }
    cells.clear();
    for (const Bin& bin : bins) {
        if (bin.count != 0) {
            const double n = static_cast<double>(bin.count);
            cells.push_back(
                {{static_cast<double>(bin.sum[0]) / n, static_cast<double>(bin.sum[1]) / n,
                  static_cast<double>(bin.sum[2]) / n},
                 n});
        }
    }
}

struct Stats {
    double weight = 0;
    double sum[3] = {0, 0, 0};
    double squares = 0;  // sum of weight * |mean|^2

    void Add(const Cell& c) {
        weight += c.weight;
        for (int a = 0; a < 3; ++a) {
            sum[a] += c.weight * c.mean[a];
            squares += c.weight * c.mean[a] * c.mean[a];
        }
    }
    // Sum of squared distances of the cells from their common mean.
    double Error() const {
        if (weight <= 0) {
            return 0;
        }
        return squares - (sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]) / weight;
    }
};

Stats Difference(const Stats& all, const Stats& part) {
    Stats s;
    s.weight = all.weight - part.weight;
    for (int a = 0; a < 3; ++a) {
        s.sum[a] = all.sum[a] - part.sum[a];
    }
    s.squares = all.squares - part.squares;
    return s;
}

struct Box {
    size_t begin;
    size_t end;
    Stats stats;
};

Stats StatsOf(const std::vector<Cell>& cells, size_t begin, size_t end) {
    Stats s;
    for (size_t i = begin; i < end; ++i) {
        s.Add(cells[i]);
    }
    return s;
}

// Splits a box across the axis of largest spread, at the point that leaves
// the smallest total error rather than at the median, so that clusters of
// colour stay whole.
void Split(std::vector<Cell>& cells, const Box& box, Box& low, Box& high) {
    int axis = 0;
    double widest = -1;
    for (int a = 0; a < 3; ++a) {
        double sq = 0;
        for (size_t i = box.begin; i < box.end; ++i) {
            sq += cells[i].weight * cells[i].mean[a] * cells[i].mean[a];
        }
        const double spread = sq - box.stats.sum[a] * box.stats.sum[a] / box.stats.weight;
        if (spread > widest) {
            widest = spread;
            axis = a;
        }
    }
    std::sort(cells.begin() + static_cast<std::ptrdiff_t>(box.begin),
              cells.begin() + static_cast<std::ptrdiff_t>(box.end),
              [axis](const Cell& a, const Cell& b) { return a.mean[axis] < b.mean[axis]; });

    Stats left;
    size_t cut = box.begin + 1;
    double best = std::numeric_limits<double>::max();
    for (size_t i = box.begin; i + 1 < box.end; ++i) {
        left.Add(cells[i]);
        const double error = left.Error() + Difference(box.stats, left).Error();
        if (error < best) {
            best = error;
            cut = i + 1;
        }
    }
    low = {box.begin, cut, StatsOf(cells, box.begin, cut)};
    high = {cut, box.end, StatsOf(cells, cut, box.end)};
}

// The box split next is the one with the largest error, not the one with the
// most pixels: otherwise a sky of millions of near-black pixels takes nearly
// every colour and the few bright stars share what is left.
std::vector<Box> MedianCut(std::vector<Cell>& cells, int maxColours) {
    std::vector<Box> boxes;
    boxes.push_back({0, cells.size(), StatsOf(cells, 0, cells.size())});
    while (static_cast<int>(boxes.size()) < maxColours) {
        size_t worst = boxes.size();
        double worstError = 0;
        for (size_t i = 0; i < boxes.size(); ++i) {
            const double error = boxes[i].stats.Error();
            if (boxes[i].end - boxes[i].begin > 1 && error > worstError) {
                worstError = error;
                worst = i;
            }
        }
        if (worst == boxes.size()) {
            break;  // every box is a single cell
        }
        Box low{};
        Box high{};
        Split(cells, boxes[worst], low, high);
        boxes[worst] = low;
        boxes.push_back(high);
    }
    return boxes;
}

inline double Distance(const double* a, const double* b) {
    const double d0 = a[0] - b[0];
    const double d1 = a[1] - b[1];
    const double d2 = a[2] - b[2];
    return d0 * d0 + d1 * d1 + d2 * d2;
}

// Moves every palette colour to the mean of the cells nearest to it, a few
// times. Median cut places colours where the boxes fall; this lets them
// settle where the pixels are.
void Refine(const std::vector<Cell>& cells, std::vector<std::array<double, 3>>& centres) {
    constexpr int kPasses = 2;
    const size_t k = centres.size();
    std::vector<Stats> clusters(k);
    for (int pass = 0; pass < kPasses; ++pass) {
        std::fill(clusters.begin(), clusters.end(), Stats{});
        for (const Cell& cell : cells) {
            size_t nearest = 0;
            double best = std::numeric_limits<double>::max();
            for (size_t j = 0; j < k; ++j) {
                const double d = Distance(cell.mean, centres[j].data());
                if (d < best) {
                    best = d;
                    nearest = j;
                }
            }
            clusters[nearest].Add(cell);
        }
        for (size_t j = 0; j < k; ++j) {
            if (clusters[j].weight > 0) {  // an empty cluster keeps its colour
                for (int a = 0; a < 3; ++a) {
                    centres[j][static_cast<size_t>(a)] = clusters[j].sum[a] / clusters[j].weight;
                }
            }
        }
    }
}

// Maps every pixel to its nearest palette colour. Colour space is cut into a
// grid; for each grid cell only the palette colours that can be nearest to
// some colour inside it are kept: those whose closest possible distance to
// the cell does not exceed the smallest farthest distance of any colour.
// Sorted by that closest distance, the search for one pixel stops as soon as
// no remaining colour can beat the best found. The lists are made when a
// cell is first met.
class NearestColour {
  public:
    explicit NearestColour(const std::vector<Colour>& palette)
        : palette_(palette),
          first_(kGridCells, kNone),
          count_(kGridCells, 0),
          hits_(kGridCells, 0) {}

    uint8_t operator()(int red, int green, int blue) {
        const uint32_t cell = CellOf(red, green, blue);
        if (first_[cell] == kNone) {
            // A list costs about as much as a few plain searches, so cells
            // met only once or twice (scattered colours) never get one.
            if (hits_[cell] < kSearchesBeforeList) {
                ++hits_[cell];
                return SearchAll(red, green, blue);
            }
            MakeCandidates(cell);
        }
        const Candidate* list = candidates_.data() + first_[cell];
        const Candidate* end = list + count_[cell];
        uint8_t nearest = list->index;
        int best = std::numeric_limits<int>::max();
        for (; list != end && list->closest < best; ++list) {
            const Colour& c = palette_[list->index];
            const int d = Squared(c[0] - red) + Squared(c[1] - green) + Squared(c[2] - blue);
            if (d < best) {
                best = d;
                nearest = list->index;
            }
        }
        return nearest;
    }

  private:
    struct Candidate {
        int closest;  // smallest distance of the colour to any point of the cell
        uint8_t index;
    };

    // Cells of 4 levels a side. Larger cells mean fewer lists to make but
    // longer ones, which costs most where a dark sky crowds its colours.
    static constexpr int kGridBits = 6;
    static constexpr int kGridShift = 8 - kGridBits;
    static constexpr int kGridPerSide = 1 << kGridBits;
    static constexpr size_t kGridCells = size_t{1} << (3 * kGridBits);
    static constexpr uint32_t kNone = std::numeric_limits<uint32_t>::max();

    static uint32_t CellOf(int red, int green, int blue) {
        return (static_cast<uint32_t>(red >> kGridShift) << (2 * kGridBits)) |
               (static_cast<uint32_t>(green >> kGridShift) << kGridBits) |
               static_cast<uint32_t>(blue >> kGridShift);
    }

    static constexpr uint8_t kSearchesBeforeList = 4;

    static int Squared(int v) { return v * v; }

    uint8_t SearchAll(int red, int green, int blue) const {
        uint8_t nearest = 0;
        int best = std::numeric_limits<int>::max();
        for (size_t j = 0; j < palette_.size(); ++j) {
            const Colour& c = palette_[j];
            const int d = Squared(c[0] - red) + Squared(c[1] - green) + Squared(c[2] - blue);
            if (d < best) {
                best = d;
                nearest = static_cast<uint8_t>(j);
            }
        }
        return nearest;
    }

    void MakeCandidates(uint32_t cell) {
        constexpr int kSpan = (1 << kGridShift) - 1;
        const int lo[3] = {static_cast<int>((cell >> (2 * kGridBits)) & (kGridPerSide - 1))
                               << kGridShift,
                           static_cast<int>((cell >> kGridBits) & (kGridPerSide - 1)) << kGridShift,
                           static_cast<int>(cell & (kGridPerSide - 1)) << kGridShift};
        const size_t first = candidates_.size();
        int threshold = std::numeric_limits<int>::max();
        for (size_t j = 0; j < palette_.size(); ++j) {
            int closest = 0;
            int farthest = 0;
            for (size_t a = 0; a < 3; ++a) {
                const int v = palette_[j][a];
                const int l = lo[a];
                const int h = lo[a] + kSpan;
                closest += v < l ? Squared(l - v) : v > h ? Squared(v - h) : 0;
                farthest += Squared(std::max(v - l, h - v));
            }
            threshold = std::min(threshold, farthest);
            candidates_.push_back({closest, static_cast<uint8_t>(j)});
        }
        const auto begin = candidates_.begin() + static_cast<std::ptrdiff_t>(first);
        const auto kept = std::remove_if(begin, candidates_.end(), [threshold](const Candidate& c) {
            return c.closest > threshold;
        });
        candidates_.erase(kept, candidates_.end());
        std::stable_sort(begin, candidates_.end(), [](const Candidate& a, const Candidate& b) {
            return a.closest < b.closest;
        });
        first_[cell] = static_cast<uint32_t>(first);
        count_[cell] = static_cast<uint16_t>(candidates_.size() - first);
    }

    const std::vector<Colour>& palette_;
    std::vector<uint32_t> first_;  // per grid cell: start of its list in candidates_
    std::vector<uint16_t> count_;  // per grid cell: length of its list
    std::vector<uint8_t> hits_;    // per grid cell: searches made without a list
    std::vector<Candidate> candidates_;
};

void MapPixels(const RgbImage& image, const std::vector<Colour>& palette, PaletteImage& result) {
    NearestColour nearest(palette);
    const int width = image.Width();
    result.indices.resize(static_cast<size_t>(width) * static_cast<size_t>(image.Height()));
    uint8_t* out = result.indices.data();
    uint32_t lastKey = std::numeric_limits<uint32_t>::max();  // no 24-bit key
    uint8_t lastIndex = 0;
    for (int y = 0; y < image.Height(); ++y) {
        const uint8_t* p = image.Row(y);
        for (int x = 0; x < width; ++x, p += 3) {
            const uint32_t key = Key(p);
            if (key != lastKey) {
                lastIndex = nearest(p[2], p[1], p[0]);
                lastKey = key;
            }
            *out++ = lastIndex;
        }
    }
}

}  // namespace

PaletteImage Quantize(const RgbImage& image, int maxColours) {
    PaletteImage result;
    maxColours = std::clamp(maxColours, 1, 256);
    if (image.Width() <= 0 || image.Height() <= 0) {
        return result;
    }
    if (ExactPalette(image, maxColours, result)) {
        return result;
    }

    std::vector<Cell> cells;
    if (!ExactHistogram(image, cells)) {
        BinnedHistogram(image, cells);
    }
    const std::vector<Box> boxes = MedianCut(cells, maxColours);
    std::vector<std::array<double, 3>> centres;
    for (const Box& box : boxes) {
        centres.push_back({box.stats.sum[0] / box.stats.weight, box.stats.sum[1] / box.stats.weight,
                           box.stats.sum[2] / box.stats.weight});
    }
    Refine(cells, centres);

    std::vector<Colour> palette;
    for (const auto& c : centres) {
        Colour colour{};
        for (size_t a = 0; a < 3; ++a) {
            colour[a] = static_cast<uint8_t>(std::clamp(c[a] + 0.5, 0.0, 255.0));
        }
        palette.push_back(colour);
    }
    MapPixels(image, palette, result);
    result.palette = std::move(palette);
    return result;
}

}  // namespace nocturo::codecs

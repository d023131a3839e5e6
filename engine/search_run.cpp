#include "engine/search_run.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <unordered_set>
#include <utility>

#include "core/image_file.h"
#include "engine/frame_reader.h"
#include "engine/own_inputs.h"
#include "engine/step_saving.h"
#include "lang/language_strings.h"
#include "lists/list_commands.h"

namespace nocturo {

const char* const kSearchSaveFilter = kStepSaveFilter;

namespace {

// The search takes every checked entry, a disabled one too: a frame that
// loads now is enabled again.
bool TakesChecked(const FileList& list, int index) {
    return list.IsChecked(index);
}

/// The folder part of a name with its separator ("" for none), and the
/// name without it.
std::pair<std::string, std::string> SplitFolder(const std::string& fileName) {
    const size_t slash = fileName.rfind('/');
    if (slash == std::string::npos) {
        return {std::string(), fileName};
    }
    return {fileName.substr(0, slash + 1), fileName.substr(slash + 1)};
}

void EnsureSeparator(std::string& folder) {
    if (!folder.empty() && folder.back() != '/') {
        folder += '/';
    }
}

/// The right list's entries by name, so that a search lists a name once.
class RightListNames {
  public:
    explicit RightListNames(FileList& right) : right_(right) {
        for (const ListEntry& entry : right.Entries()) {
            names_.insert(entry.text);
        }
    }
    /// Lists name (or finds it listed) and enables or disables its entry.
    void List(const std::string& name, bool enabled) {
        int index = -1;
        if (names_.count(name) != 0) {
            // The user may have changed the list while events ran.
            for (int i = 0; i < right_.Count() && index < 0; ++i) {
                index = right_.Text(i) == name ? i : -1;
            }
        }
        if (index < 0) {
            index = right_.Append(name);
            names_.insert(name);
        }
        if (enabled) {
            EnableEntry(index, right_);
        } else {
            DisableEntry(index, right_);
        }
    }

  private:
    FileList& right_;
    std::unordered_set<std::string> names_;
};

/// The object's centroid, or nothing when no object is found.
std::optional<std::pair<int, int>> Centroid(const RgbImage& image, const SearchParams& params) {
    if (image.Width() <= 0 || image.Height() <= 0) {
        return std::nullopt;
    }
    const BrightPixels bright = CountBrightPixels(image, params);
    if (bright.count <= params.MinPixels || bright.count == 0) {
        return std::nullopt;
    }
    return std::make_pair(static_cast<int>(bright.sumX / bright.count),
                          static_cast<int>(bright.sumY / bright.count));
}

}  // namespace

BrightPixels CountBrightPixels(const RgbImage& image, const SearchParams& params,
                               int64_t stopAbove) {
    BrightPixels bright;
    const int64_t left = std::max<int64_t>(params.Left, 0);
    const int64_t right = int64_t{image.Width()} - params.Right;
    const int64_t top = std::max<int64_t>(params.Top, 0);
    const int64_t bottom = int64_t{image.Height()} - params.Bottom;
    if (left >= right || top >= bottom) {
        return bright;
    }
    // Luminosity (R + G + B) div 3 is above the level exactly when the sum
    // reaches 3 x (level + 1). At 16 bits the level is widened (LevelAtDepth).
    const bool wide = image.Depth() == 16;
    const int64_t threshold = 3 * (LevelAtDepth(params.MinLevel, image.Depth()) + 1);
    if (threshold > 3 * int64_t{wide ? kWhite16 : 255}) {
        return bright;
    }
    const int limit = static_cast<int>(std::max<int64_t>(threshold, 0));
    for (int64_t y = top; y < bottom; ++y) {
        int64_t rowCount = 0;
        int64_t rowSumX = 0;
        if (wide) {
            const uint16_t* row = image.Row16(static_cast<int>(y));
            for (int64_t x = left; x < right; ++x) {
                const uint16_t* p = row + x * 3;
                const bool on = p[0] + p[1] + p[2] >= limit;
                rowCount += on;
                rowSumX += on ? x : 0;
            }
        } else {
            const uint8_t* row = image.Row(static_cast<int>(y));
            for (int64_t x = left; x < right; ++x) {
                const uint8_t* p = row + x * 3;
                const bool on = p[0] + p[1] + p[2] >= limit;
                rowCount += on;
                rowSumX += on ? x : 0;
            }
        }
        bright.count += rowCount;
        bright.sumX += rowSumX;
        bright.sumY += rowCount * y;
        if (stopAbove >= 0 && bright.count > stopAbove) {
            break;
        }
    }
    return bright;
}

Rect ObjectRect(int cx, int cy, const SearchParams& params) {
    const int w2 = params.CropWidth / 2;
    const int h2 = params.CropHeight / 2;
    return Rect{cx - w2, cy - h2 - 1, cx + w2, cy + h2 - 1};
}

void DrawEllipse(RgbImage& image, const Rect& rect, uint8_t blue, uint8_t green, uint8_t red) {
    if (rect.right <= rect.left || rect.bottom <= rect.top) {
        return;
    }
    auto plot = [&](int64_t x, int64_t y) {
        if (x < 0 || y < 0 || x >= image.Width() || y >= image.Height()) {
            return;
        }
        if (image.Depth() == 16) {
            uint16_t* p = image.Row16(static_cast<int>(y)) + x * 3;
            p[0] = Widen8(blue);
            p[1] = Widen8(green);
            p[2] = Widen8(red);
        } else {
            uint8_t* p = image.Row(static_cast<int>(y)) + x * 3;
            p[0] = blue;
            p[1] = green;
            p[2] = red;
        }
    };
    // Bresenham's ellipse through the corners of the rectangle's pixels
    // (after A. Zingl): the outline touches all four sides.
    int64_t x0 = rect.left;
    int64_t x1 = rect.right - 1;
    int64_t y0 = rect.top;
    int64_t y1 = rect.bottom - 1;
    int64_t a = x1 - x0;
    const int64_t b = y1 - y0;
    int64_t b1 = b & 1;
    int64_t dx = 4 * (1 - a) * b * b;
    int64_t dy = 4 * (b1 + 1) * a * a;
    int64_t err = dx + dy + b1 * a * a;
    y0 += (b + 1) / 2;
    y1 = y0 - b1;
    a *= 8 * a;
    b1 = 8 * b * b;
    do {
        plot(x1, y0);
        plot(x0, y0);
        plot(x0, y1);
        plot(x1, y1);
        const int64_t e2 = 2 * err;
        if (e2 <= dy) {
            ++y0;
            --y1;
            dy += a;
            err += dy;
        }
        if (e2 >= dx || 2 * err > dy) {
            ++x0;
            --x1;
            dx += b1;
            err += dx;
        }
    } while (x0 <= x1);
    while (y0 - y1 <= b) {  // flat ellipses: finish the tips
        plot(x0 - 1, y0);
        plot(x1 + 1, y0++);
        plot(x0 - 1, y1);
        plot(x1 + 1, y1--);
    }
}

bool DetectObject(RgbImage& image, const SearchParams& params, bool) {
    if (image.Width() <= 0 || image.Height() <= 0) {
        return false;
    }
    const int64_t needed = std::max<int64_t>(params.MinPixels, 0);
    return CountBrightPixels(image, params, needed).count > params.MinPixels;
}

bool MarkObject(RgbImage& image, const SearchParams& params, bool) {
    const auto centre = Centroid(image, params);
    if (!centre) {
        return false;
    }
    DrawEllipse(image, ObjectRect(centre->first, centre->second, params), 255, 255, 255);
    return true;
}

bool CropObject(RgbImage& image, const SearchParams& params, bool markInsteadOfCrop) {
    if (markInsteadOfCrop) {
        return MarkObject(image, params, true);
    }
    const auto centre = Centroid(image, params);
    if (!centre || params.CropWidth < 1 || params.CropHeight < 1) {
        return false;
    }
    RgbImage crop;
    if (!crop.Resize(params.CropWidth, params.CropHeight, image.Depth())) {
        return false;
    }
    const size_t pixelBytes = image.Depth() == 16 ? 6 : 3;
    FillImage(crop, 0, 0, 0);
    const Rect source = ObjectRect(centre->first, centre->second, params);
    const int64_t sourceWidth = source.right - source.left;
    const int64_t sourceHeight = source.bottom - source.top;
    const int64_t targetWidth = params.CropWidth - 1;
    const int64_t targetHeight = params.CropHeight - 1;
    if (sourceWidth > 0 && sourceHeight > 0) {
        // The source pixel under the centre of each target pixel: where the
        // sizes agree a plain copy, where they differ by one pixel both ends
        // of the rectangle still arrive.
        for (int64_t ty = 0; ty < targetHeight; ++ty) {
            const int64_t sy = source.top + (2 * ty + 1) * sourceHeight / (2 * targetHeight);
            if (sy < 0 || sy >= image.Height()) {
                continue;
            }
            const uint8_t* src = image.Row(static_cast<int>(sy));
            uint8_t* dst = crop.Row(static_cast<int>(ty));
            for (int64_t tx = 0; tx < targetWidth; ++tx) {
                const int64_t sx = source.left + (2 * tx + 1) * sourceWidth / (2 * targetWidth);
                if (sx >= 0 && sx < image.Width()) {
                    std::copy_n(src + static_cast<size_t>(sx) * pixelBytes, pixelBytes,
                                dst + static_cast<size_t>(tx) * pixelBytes);
                }
            }
        }
    }
    crop.SetFormat(image.Format());
    image.Swap(crop);
    return true;
}

std::string SearchOutputName(const std::string& frame, const std::string& folder,
                             const std::string& extension) {
    std::string name = SplitFolder(frame).second;
    const std::string oldExtension = FileExtension(name);
    name.resize(name.size() - oldExtension.size());
    std::string out = folder;
    EnsureSeparator(out);
    return out + name + extension;
}

SearchOutcome RunSearch(RunContext& context, SearchOperation operation, bool save,
                        std::string extension, std::string folder, SearchWindow& window) {
    RunState& state = context.state;
    RunHost& host = context.host;
    FileList& left = context.lists.Left();
    FileList& right = context.lists.Right();
    SearchOutcome outcome;

    state.StopRequested = false;
    state.PauseRequested = false;
    state.ResultPosition = 0;
    if (left.Count() == 0) {
        return outcome;
    }
    Answer answer = Answer::Yes;
    host.FocusLeftList();
    host.ProcessEvents();
    EnsureSeparator(folder);

    std::optional<SearchChoice> choice;
    for (;;) {
        choice = window.Execute(save, left.Text(0));
        if (!choice) {
            return outcome;
        }
        // Copies of 16-bit frames under an 8-bit format's name: written at
        // 8 bits only when the user says so; No opens the window again.
        const Answer depth =
            choice->save ? ConfirmNameDepth(context, choice->name, state.Depth) : Answer::Yes;
        if (depth == Answer::Yes) {
            break;
        }
        if (depth != Answer::No) {
            return outcome;
        }
        save = true;
    }
    const SearchParams params = choice->params;
    save = choice->save;
    if (save) {
        extension = FileExtension(choice->name);
        folder = SplitFolder(choice->name).first;
        std::vector<std::string> copies;
        for (int i = 0; i < left.Count(); ++i) {
            if (TakesChecked(left, i)) {
                copies.push_back(SearchOutputName(left.Text(i), folder, extension));
            }
        }
        if (std::optional<std::string> own = RefuseOwnInputs(context, copies)) {
            outcome.ownInput = std::move(*own);
            return outcome;
        }
    }

    RunReport report;
    RightListNames listed(right);
    int position = 0;
    {
        // A frame whose file has gone fails even when it was decoded ahead.
        FrameReader frames(state.Decode, TakesChecked, true, state.Depth);
        RgbImage image;
        RunCounter counter(host, left, TakesChecked);
        for (int i = 0; i < left.Count() && !state.StopRequested; ++i) {
            if (!TakesChecked(left, i)) {
                continue;
            }
            const std::string name = left.Text(i);
            position = i;
            if (frames.Load(left, i, image)) {
                EnableEntry(i, left);
                host.ShowStatus(i, name, left, true);
                if (operation(image, params, !save)) {
                    if (save) {
                        const std::string out = SearchOutputName(name, folder, extension);
                        std::string reason;
                        if (SaveWithOverwriteQuestion(context, image, out, answer, &reason)) {
                            listed.List(out, true);
                            outcome.found.push_back(out);
                        } else if (!state.StopRequested) {
                            listed.List(out, false);
                            outcome.found.push_back(out);
                            ++outcome.unwritten;
                        }
                        if (!reason.empty()) {
                            report.unwritten.push_back({out, reason});
                        }
                    } else {
                        listed.List(name, true);
                        outcome.found.push_back(name);
                    }
                } else {
                    host.ShowStatus(-i, name, left, false);
                }
            } else {
                ++outcome.errors;
                report.inError.push_back(name);
                ClearImage(&image);
                DisableEntry(context, i, left);
                host.ShowStatus(-i, name, left, false);
            }
            counter.Passed();
            host.ProcessEvents();
        }
        frames.Stop();
    }

    // A frame without an object is no error: the run's end says what it
    // found, in the ordinary style.
    host.ShowStatus(std::max(0, std::min(position, left.Count() - 1)),
                    FormatText(Lng().txtFramesFound, static_cast<long long>(outcome.found.size())),
                    left, true);
    report.errors = outcome.errors;
    outcome.failedWrites = report.unwritten;
    if (report.errors > 0 || !report.unwritten.empty()) {
        host.ShowRunReport(report);
    }
    return outcome;
}

std::optional<SearchOutcome> AskSearchOutput(RunContext& context, SearchOperation operation,
                                             SearchWindow& window) {
    if (context.lists.Left().Count() == 0) {
        return std::nullopt;
    }
    SaveRequest request;
    request.filter = kSearchSaveFilter;
    request.defaultExtension = "bmp";
    request.fileName = "(CurrentFileName).bmp";
    const std::optional<std::string> chosen = context.host.AskSaveFileName(request);
    if (!chosen) {
        return std::nullopt;
    }
    window.SetOutputName(*chosen);
    return RunSearch(context, operation, true, FileExtension(*chosen), SplitFolder(*chosen).first,
                     window);
}

}  // namespace nocturo

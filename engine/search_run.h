#pragma once
// Search and crop: finds the frames of the left list that hold a bright
// object (a meteor, a satellite, an aircraft) by counting the pixels above
// a luminosity level, lists them in the right list and optionally writes a
// copy of each, unchanged, with the object circled, or cropped around it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/rgb_image.h"
#include "engine/stacking_run.h"

namespace nocturo {

/// The search parameters, as the "Search Parameters:" window holds them.
struct SearchParams {
    /// A pixel counts when its luminosity is above this level of the 0..255
    /// scale; in a 16-bit picture above LevelAtDepth(MinLevel, 16), which
    /// counts the same pixels of an 8-bit picture widened.
    int32_t MinLevel = 10;
    int32_t MinPixels = 10;   ///< an object is found when more pixels than this count
    int32_t Left = 1;         ///< columns skipped at the left edge
    int32_t Right = 1;        ///< columns skipped at the right edge
    int32_t Top = 1;          ///< rows skipped at the top
    int32_t Bottom = 1;       ///< rows skipped at the bottom
    int32_t CropWidth = 100;  ///< size of the mark ellipse and of the crop
    int32_t CropHeight = 100;
};

/// The bright pixels of the search area, with the sums of their
/// coordinates (64-bit: a large picture full of bright pixels overflows 32).
struct BrightPixels {
    int64_t count = 0;
    int64_t sumX = 0;
    int64_t sumY = 0;
};

/// Counts the pixels of luminosity above MinLevel (at the picture's depth)
/// in the columns
/// Left <= x < width - Right and rows Top <= y < height - Bottom. With
/// stopAbove >= 0 the count may stop as soon as it exceeds stopAbove (the
/// sums are then partial).
BrightPixels CountBrightPixels(const RgbImage& image, const SearchParams& params,
                               int64_t stopAbove = -1);

/// A rectangle, right and bottom exclusive.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

/// The object rectangle around a centroid: CropWidth div 2 to each side,
/// and one row higher than centred.
Rect ObjectRect(int cx, int cy, const SearchParams& params);

/// Draws the one-pixel outline of the ellipse inscribed in rect, clipped to
/// the picture; in a 16-bit picture the colour is widened (v * 257).
void DrawEllipse(RgbImage& image, const Rect& rect, uint8_t blue, uint8_t green, uint8_t red);

/// The three operations of the search share one shape; only CropObject reads
/// markInsteadOfCrop. Each returns false, changing nothing, for an image
/// with no pixels or an object not found.
using SearchOperation = bool (*)(RgbImage& image, const SearchParams& params,
                                 bool markInsteadOfCrop);
/// Whether an object is found; the image is not changed.
bool DetectObject(RgbImage& image, const SearchParams& params, bool markInsteadOfCrop);
/// Circles the object with a white ellipse outline.
bool MarkObject(RgbImage& image, const SearchParams& params, bool markInsteadOfCrop);
/// The image becomes CropWidth x CropHeight: black, with the object
/// rectangle copied into all of it but the last column and row (scaled
/// when the sizes differ by that one pixel). Parts of the rectangle outside
/// the picture stay black. With markInsteadOfCrop it marks instead.
bool CropObject(RgbImage& image, const SearchParams& params, bool markInsteadOfCrop);

/// What the parameters window hands back when closed with OK.
struct SearchChoice {
    SearchParams params;
    bool save = false;
    /// The name field: only its folder and extension are used.
    std::string name;
};

/// The "Search Parameters:" window as a run sees it.
class SearchWindow {
  public:
    virtual ~SearchWindow() = default;
    /// Puts a name into the window's name field.
    virtual void SetOutputName(const std::string& name) = 0;
    /// Shows the window modally with " Save ? " preset to save; an empty
    /// name field first receives firstEntry. Nothing unless closed with OK.
    virtual std::optional<SearchChoice> Execute(bool save, const std::string& firstEntry) = 0;
};

/// What a search did, for the command-line tool and the tests.
struct SearchOutcome {
    /// Frames that failed to load.
    int errors = 0;
    /// The names appended to the right list, in order.
    std::vector<std::string> found;
    /// Of those, the copies that could not be written (disabled entries).
    int unwritten = 0;
    /// The copies whose write failed, with why (declined ones are not).
    std::vector<FailedWrite> failedWrites;
    /// The copy that would have replaced a file of the left list: the run
    /// did not start. Empty otherwise.
    std::string ownInput;
};

/// The output name of a frame: folder (ending with a separator) + the
/// frame's name without its folder, its extension replaced by extension.
std::string SearchOutputName(const std::string& frame, const std::string& folder,
                             const std::string& extension);

/// The search over the checked entries of the left list. Loaded frames are
/// checked and enabled, frames that fail to load (a missing file included)
/// unchecked, disabled and counted; a found frame goes to the right list
/// under its own name, or, when saving, its processed copy under the output
/// name after the overwrite question (a copy not written is listed
/// disabled; Cancel lists nothing and stops). A name the right list holds
/// already is not listed again: its entry follows the outcome. The abort
/// button stops after the current frame. At the end the status bar tells
/// how many frames were found (the language string txtFramesFound, not as an error), and the
/// run's report (host.ShowRunReport) follows only when files failed to
/// load or copies to be written. When saving, no run takes place if a copy
/// would be a file of the left list: a message names it (ownInput).
/// Frames are decoded ahead on worker threads when state.Decode asks, at
/// state.Depth; at 16 bits a name of an 8-bit format chosen for the copies
/// is confirmed first (ConfirmNameDepth: No shows the window again).
SearchOutcome RunSearch(RunContext& context, SearchOperation operation, bool save,
                        std::string extension, std::string folder, SearchWindow& window);

/// The filter of the output dialogs: every registered picture format.
extern const char* const kSearchSaveFilter;

/// The output dialog of the three saving commands, then the run with
/// " Save ? " on and the chosen name's folder and extension (the name goes
/// into the window's name field). Nothing when the left list is empty or
/// the dialog is cancelled.
std::optional<SearchOutcome> AskSearchOutput(RunContext& context, SearchOperation operation,
                                             SearchWindow& window);

}  // namespace nocturo

#pragma once
// Step files: the numbered pictures a run with steps writes after every
// merged picture, so the growing trail can be played as a sequence.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/stacking_run.h"

namespace nocturo {

class FrameErrors;

/// The first number in a format text: skips to the first '-' or digit, then
/// reads the longest run of '-' and digits; the text's last character is
/// never looked at. No such run gives 0; a run that is no valid integer 6.
int FirstNumberInFormat(std::string_view format);

/// The name of the step file with number n for a left list of leftCount
/// entries: base name ("proc" when empty), n, extension (".jpg" when empty).
/// A number of 0 or less, or above the wrap limit, restarts the numbering at
/// 1 (StepNumber := 1). With FormatNumbers the number is written with d
/// digits, zero-padded: d is the first number in NumberFormat, widened with
/// AutoAdaptDigits to the digits of leftCount; d = 0 writes the plain
/// number and d < 0 four digits. Without FormatNumbers the plain number.
///
/// NumberFormat is only read for its digit count, never used as a printf
/// format: the name is built from (base, d, n, ext), which gives what the
/// program's own formats ("%s%4.4d%s" and the like) give. A hand-set format
/// asking for more than 255 digits gets 255, the most a file name can hold.
std::string StepFileName(StepSettings& settings, int32_t n, int leftCount);

/// The names of `count` step files from the settings' StepNumber on, as a
/// run writing them one after another names them (numbers that wrap
/// included); the settings are not changed.
std::vector<std::string> StepFileNames(const StepSettings& settings, int count, int leftCount);

/// The filter of the step dialog: every format that can be written, all of
/// them in the first entry, then one entry per format.
extern const char* const kStepSaveFilter;

/// The step dialog, then the run with steps saved. The dialog proposes
/// StepFileName(StepNumber) (StartNumber first when ForceStartNumber), with
/// kStepSaveFilter and default extension "bmp". The digits at the end of the
/// chosen name (before its extension) give StepNumber, the rest the step
/// base name and extension; a number other than the one before the command
/// switches the forced start number off (host.StartNumberChanged()).
/// At 16 bits per channel a name of an 8-bit format is confirmed first
/// (ConfirmNameDepth): No brings the dialog back with that name, Cancel
/// cancels. Returns false when the user cancelled or the chosen name's
/// number does not fit a signed 32-bit integer (a message says so): no run
/// then. No
/// run either when one of the step files the run would write (one per
/// checked entry) is a file of the left list: a message names it.
bool PrepareStepSaving(RunContext& context, ImageOperation operation, OperationRecord* record,
                       bool firstIsMerged);

/// Whether pictures of `depth` bits per channel may be saved under
/// fileName: Yes at once when the depth is 8 or the name's format holds 16
/// bits (PNG, TIFF); otherwise the answer to the question txtEightBits with
/// Yes (write it at 8 bits, each value rounded to the nearest), No (choose
/// another name) and Cancel. Closing the question counts as Cancel.
Answer ConfirmNameDepth(RunContext& context, const std::string& fileName, int depth);

/// Whether saving under fileName asks the overwrite question: the file
/// exists and no "to All" answer was given.
bool OverwriteQuestionDue(const std::string& fileName, Answer answer);

/// The overwrite decision for one name: asks when OverwriteQuestionDue (the
/// pressed button is remembered in answer); a name that does not exist yet
/// is written whatever was answered before. Yes or Yes to All write.
Answer DecideOverwrite(RunContext& context, const std::string& fileName, Answer& answer);

/// Saves the result buffer as the next step file, asking before an existing
/// file is overwritten; answer is the run's remembered answer (Yes at its
/// start). Yes and Yes to All write the file (ResultUnsaved := not written)
/// and use up the number, also when the write fails. A written file is
/// appended to the right list; one that could not be written is appended
/// unchecked and disabled, and given to errors (when set) with why. Any
/// refusal (No, No to All, Cancel, or the question closed without a button)
/// sets StopRequested, writes nothing and keeps the number.
void SaveStep(RunContext& context, Answer& answer, FrameErrors* errors = nullptr);

/// Saves an image under a name after the same question; the answer is
/// remembered across calls. Cancel (or closing the question) sets
/// StopRequested and gives false; No and No to All give false and write
/// nothing, without stopping. Yes, Yes to All, and any name that does not
/// exist yet save the image and give whether it was written; a save that
/// fails gives why in reason, when set. The result buffer's unsaved mark is
/// left alone: the image is not the result.
bool SaveWithOverwriteQuestion(RunContext& context, const RgbImage& image,
                               const std::string& fileName, Answer& answer,
                               std::string* reason = nullptr);

}  // namespace nocturo

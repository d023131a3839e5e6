#include "engine/frame_errors.h"

#include "lang/language_strings.h"

namespace nocturo {

void FrameErrors::Skip(int index) {
    FileList& left = context_.lists.Left();
    ++count_;
    DisableEntry(context_, index, left);
    // The events that DisableEntry lets run may have removed the entry.
    const std::string text = index < left.Count() ? left.Text(index) : std::string();
    context_.host.ShowStatus(-index, text, left, false);
}

bool FrameErrors::Merge(int index, bool loaded, RgbImage& frame, RgbImage& result,
                        ImageOperation operation, OperationRecord* record) {
    // The size is checked here, not left to the operation: an operation that
    // wrote part of the result before it noticed would spoil what is merged.
    if (loaded && frame.SameSize(result) && operation(frame, result, record)) {
        return true;
    }
    Skip(index);
    return false;
}

void FrameErrors::Report() {
    context_.host.ShowMessage(FormatText(Lng().lngfilesinerror, count_), Lng().lngprocpictures);
}

}  // namespace nocturo

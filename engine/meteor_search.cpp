#include "engine/meteor_search.h"

#include <sys/stat.h>

#include <new>

#include "core/image_file.h"
#include "core/point_reader.h"
#include "lang/language_strings.h"
#include "lists/list_commands.h"

namespace nocturo {

namespace {

bool Takes(const FileList& list, int index) {
    return list.IsEnabled(index) && list.IsChecked(index);
}

// A missing file is a frame that cannot be loaded, not an empty picture
// that would read 765 and win.
bool LoadWhole(RgbImage& destination, const std::string& fileName) {
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    return LoadImageFile(destination, fileName);
}

RgbImage& ResultBuffer(RunState& state) {
    if (!state.Result && !EnsureImage(state.Result)) {
        throw std::bad_alloc();
    }
    return *state.Result;
}

}  // namespace

int PointBrightness(const RgbImage& picture, int x, int y) {
    if (x < 0 || y < 0 || x >= picture.Width() || y >= picture.Height()) {
        return 765;
    }
    const uint8_t* p = picture.Row(y) + static_cast<size_t>(x) * 3;
    return p[0] + p[1] + p[2];
}

MeteorOutcome MaximumSearch(RunContext& context, int x, int y) {
    RunState& state = context.state;
    RunHost& host = context.host;
    FileList& left = context.lists.Left();
    MeteorOutcome outcome;
    std::string maximumName;

    state.PauseRequested = false;
    state.StopRequested = false;
    host.FocusLeftList();
    host.ProcessEvents();
    if (!state.Result && !EnsureImage(state.Result)) {
        return outcome;
    }
    state.ResultUnsaved = true;
    ClearImage(state.Result.get());

    auto fail = [&](int index) {
        ++outcome.errors;
        DisableEntry(context, index, left);
        const std::string text = left.Text(index);
        host.ShowStatus(-index, text, left, false);
    };

    // The first frame that loads is read whole, straight into the result.
    int i = 0;
    for (; i < left.Count(); ++i) {
        if (Takes(left, i)) {
            const std::string name = left.Text(i);
            if (LoadWhole(ResultBuffer(state), name)) {
                outcome.maximum = PointBrightness(*state.Result, x, y);
                outcome.chain.push_back(name);
                maximumName = name;
                host.ShowImage(state.Result.get(), false);
                host.ShowStatus(0, name, left, true);
                break;
            }
            fail(i);
        }
        host.ProcessEvents();
    }
    const int width = state.Result->Width();
    const int height = state.Result->Height();

    state.ResultPosition = 1;
    RgbImage frame;
    for (++i; i < left.Count() && !state.StopRequested; ++i) {
        if (Takes(left, i)) {
            const std::string name = left.Text(i);
            PointSample point;
            if (!ReadPicturePoint(name, x, y, point) || point.width != width ||
                point.height != height) {
                fail(i);
            } else {
                const int value = point.inside ? point.blue + point.green + point.red : 765;
                if (value > outcome.maximum) {
                    // A new maximum becomes the result: only now is the frame
                    // decoded whole, and it must load whole to count.
                    if (!LoadWhole(frame, name) || frame.Width() != width ||
                        frame.Height() != height) {
                        fail(i);
                    } else {
                        outcome.maximum = PointBrightness(frame, x, y);
                        state.ResultUnsaved = true;
                        left.SetChecked(i, true);
                        maximumName = name;
                        outcome.chain.push_back(name);
                        ++state.ResultPosition;
                        if (!state.StopRequested) {
                            ResultBuffer(state).Swap(frame);
                            host.ShowImage(state.Result.get(), false);
                            host.ShowStatus(state.ResultPosition - 1, name, left, true);
                        }
                    }
                } else {
                    left.SetChecked(i, false);
                    host.ShowStatus(-i, name, left, false);
                }
            }
        }
        host.ProcessEvents();
        if (state.PauseRequested) {
            if (host.Ask(Lng().lnginpause, Lng().lngstopuser, {Answer::Yes, Answer::No}, false) ==
                Answer::Yes) {
                state.StopRequested = true;
                break;
            }
            state.StopRequested = false;
            state.PauseRequested = false;
        }
    }

    host.SetStatusPanel(2, maximumName);
    host.ShowMessage(maximumName, Lng().lngimgmax);
    return outcome;
}

}  // namespace nocturo

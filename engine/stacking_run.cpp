#include "engine/stacking_run.h"

#include <algorithm>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "core/batch.h"
#include "core/image_file.h"
#include "engine/excluded_merge.h"
#include "engine/frame_errors.h"
#include "engine/frame_map.h"
#include "engine/frame_reader.h"
#include "engine/step_saving.h"
#include "engine/step_writer.h"
#include "engine/trail_merger.h"
#include "engine/video_run.h"
#include "lang/language_strings.h"
#include "lists/list_commands.h"

namespace nocturo {

namespace {

// The pause question keeps its built-in English words: the run does not use
// the translatable strings here.

// A copy of picture in copy; false (copy emptied) when memory runs out.
bool CopyOrNot(const RgbImage& picture, RgbImage& copy) {
    try {
        copy = picture;
        return true;
    } catch (const std::bad_alloc&) {
        copy.Release();
        return false;
    }
}

// Gives buffer the size, depth and format of picture, its pixels undefined;
// false when memory runs out.
bool SizedLike(const RgbImage& picture, RgbImage& buffer) {
    if (!buffer.Resize(picture.Width(), picture.Height(), picture.Depth())) {
        return false;
    }
    buffer.SetFormat(picture.Format());
    return true;
}

}  // namespace

void DisableEntry(RunContext& context, int index, FileList& list) {
    DisableEntry(index, list);
    context.host.ProcessEvents();
}

bool StartNewResult(RunContext& context) {
    RunState& state = context.state;
    state.PauseRequested = false;
    state.StopRequested = false;
    context.host.FocusLeftList();
    context.host.ProcessEvents();
    if (!state.EnsureResult()) {
        return false;
    }
    state.ResultUnsaved = true;
    ClearImage(state.Result.get());
    state.DropFrameMap();
    return true;
}

void StackingRun(RunContext& context, ImageOperation operation, OperationRecord* record,
                 bool saveSteps, bool firstIsMerged) {
    RunState& state = context.state;
    RunHost& host = context.host;
    FileList& left = context.lists.Left();

    FrameErrors errors(context);
    if (!StartNewResult(context)) {
        return;
    }
    Answer answer = Answer::Yes;
    bool merged = false;  // some picture went into the result
    FrameMapRecorder recorder(state.RecordFrameMap, operation, firstIsMerged);
    TrailMerger trails(state, operation, firstIsMerged);
    ExcludedMerge excluded(left, operation, firstIsMerged);

    {
        FrameReader frames(state.Decode, Takes, false, state.Depth);
        // Declared after the frames: destroyed first, so an exception still
        // waits for the writes in flight before anything else is released.
        std::optional<StepWriter> steps;
        if (saveSteps) {
            steps.emplace(context, state.Writes.inFlight, &errors);
        }
        auto read = [&](int index, RgbImage& destination) {
            if (steps) {
                steps->BeforeReading(left.Text(index));
            }
            return trails.TakePrepared(left, index, destination) ||
                   frames.Load(left, index, destination);
        };
        trails.Prepare(left, [&](int index, RgbImage& destination) {
            return frames.Load(left, index, destination);
        });

        // First picture: loaded straight into the result buffer. When it
        // only sizes the result, it is then processed like every other
        // from a copy, rather than decoded a second time.
        RunCounter counter(host, left, Takes);
        int i = 0;
        bool loaded = false;
        RgbImage working;
        int firstInWorking = -1;
        for (; i < left.Count(); ++i) {
            if (Takes(left, i)) {
                if (read(i, state.ResultBuffer())) {
                    if (!firstIsMerged) {
                        firstInWorking = CopyOrNot(state.ResultBuffer(), working) ? i : -1;
                    }
                    if (firstIsMerged) {
                        trails.BeforeMerge(state.ResultBuffer(), left, i, 0);
                    }
                    excluded.Start(state.ResultBuffer(), i);
                    trails.AfterMerge(state.ResultBuffer());
                    recorder.Start(*state.Result, i, left.Text(i));
                    if (saveSteps && firstIsMerged) {
                        steps->SaveStep(answer);
                    }
                    host.ShowImage(state.Result.get(), false);
                    const std::string text = left.Text(i);
                    // The counter reads "k/N" for the k-th picture in the
                    // result; the status bar counts from index 0.
                    host.ShowStatus(0, text, left, true);
                    if (firstIsMerged) {
                        counter.Passed();  // otherwise counted when processed below
                    }
                    loaded = true;
                    break;
                }
                errors.Skip(i);
                counter.Passed();
            }
            host.ProcessEvents();
        }

        // A run that loaded nothing merged nothing: its position is 0, as for
        // the cleared result it leaves.
        if (firstIsMerged && loaded) {
            merged = true;
            state.ResultPosition = 1;
            ++i;
        } else {
            state.ResultPosition = 0;
        }

        const bool handsOver = Commutes(operation) && !recorder.Active();
        // A batch function writes a whole new picture: into this buffer,
        // while the result's buffer goes to the step due, without a copy.
        const bool overwrites = OverwritesBuffer(operation) && !recorder.Active();
        RgbImage output;
        while (i < left.Count() && !state.StopRequested) {
            if (Takes(left, i)) {
                // A frame that fails is skipped; the result keeps what is
                // merged and the run goes on. The size is checked before the
                // merge: an operation that wrote part of the result before it
                // noticed would spoil what is merged.
                const bool frameRead = i == firstInWorking || read(i, working);
                firstInWorking = -1;
                bool frameMerged = false;
                if (frameRead && working.SameSize(state.ResultBuffer())) {
                    RgbImage& result = state.ResultBuffer();
                    const bool handOver = steps && steps->AwaitsPicture() && handsOver &&
                                          !excluded.Touches(i) && CanCombine(result, working);
                    // A fade's weight taken in the merge itself spares a pass
                    // over the frame.
                    const bool weighInMerge = !handOver && record == nullptr &&
                                              trails.WeighsInMerge() && !recorder.Active() &&
                                              !excluded.Touches(i);
                    trails.BeforeMerge(working, left, i, state.ResultPosition, weighInMerge);
                    if (handOver) {
                        // The result merged into the frame leaves the
                        // result's buffer as the step's picture: no copy.
                        frameMerged = operation(result, working, record);
                        if (frameMerged) {
                            steps->HandOver(result, working);
                        }
                    } else if (steps && steps->AwaitsPicture() && overwrites &&
                               !excluded.Touches(i) && SizedLike(result, output)) {
                        frameMerged = operation(working, output, record);
                        if (frameMerged) {
                            steps->HandOver(result, output);
                        }
                    } else {
                        if (steps) {
                            steps->BeforeResultChanges();
                        }
                        frameMerged = weighInMerge
                                          ? trails.MergeWeighed(working, result)
                                          : excluded.Merge(working, result, i, [&] {
                                                return recorder.Merge(operation, record, working,
                                                                      result, i, left.Text(i));
                                            });
                    }
                }
                if (!frameMerged) {
                    errors.Skip(i);
                } else {
                    trails.AfterMerge(state.ResultBuffer());
                    merged = true;
                    state.ResultUnsaved = true;
                    ++state.ResultPosition;
                    if (saveSteps) {
                        steps->SaveStep(answer);
                    }
                    if (!state.StopRequested) {
                        host.ShowImage(state.Result.get(), false);
                        const std::string text = left.Text(i);
                        host.ShowStatus(state.ResultPosition - 1, text, left, true);
                    }
                }
                counter.Passed();
            }
            host.ProcessEvents();
            ++i;
            if (state.PauseRequested) {
                // The question comes after every step written so far is
                // accounted for, as when each is written at once.
                if (steps) {
                    steps->Finish();
                }
                if (host.Ask(Lng().lnginpause, Lng().lngstopuser, {Answer::Yes, Answer::No},
                             false) == Answer::Yes) {
                    state.StopRequested = true;
                    break;
                }
                state.StopRequested = false;
                state.PauseRequested = false;
            }
        }
        // Nothing more is needed from the disk: stop the workers before the
        // dialogs below, and free the working image. The step files are all
        // written and in the right list before the final message.
        frames.Stop();
        if (steps) {
            steps->Finish();
        }
    }
    state.ResultFrameMap = recorder.Finish(state.ResultBuffer());
    excluded.FixMap(state.ResultFrameMap);
    if (trails.Report().asked) {
        state.LastTrails = trails.Report();
        errors.Note(TrailReportLines(trails.Report()));
    }

    // A run that merged nothing leaves the empty image: nothing worth a
    // save, and offering one would invite replacing a good picture with it.
    if (!merged) {
        state.ResultUnsaved = false;
    }
    if (merged && !state.StopRequested && !saveSteps && !state.PauseRequested) {
        host.SaveResultAs();
    }
    if (saveSteps) {
        if (const auto failed = CompleteRunVideo(context)) {
            errors.WriteFailed(failed->name, failed->reason);
        }
    }
    errors.ShowReport();
}

void StackingCommand(RunContext& context, ImageOperation operation, bool saveSteps) {
    if (saveSteps) {
        PrepareStepSaving(context, operation, nullptr, true);
    } else {
        StackingRun(context, operation, nullptr, false, true);
    }
}

}  // namespace nocturo

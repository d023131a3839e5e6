#pragma once
// The stacking run: walks the left list from top to bottom, loads every
// checked and enabled entry and merges it into the result buffer with one
// per-image operation, showing progress, marking failures and optionally
// saving every step.

#include "core/combine.h"
#include "engine/run_host.h"
#include "engine/run_state.h"
#include "lists/list_pair.h"

namespace nocturo {

/// What a run works on.
struct RunContext {
    ListPair& lists;
    RunState& state;
    RunHost& host;
};

/// The run. firstIsMerged: the first picture counts as merged (the combine
/// operations); otherwise it only sizes the result and is processed like
/// every other (batch arithmetic). Its effects are the result buffer and its
/// position, ResultUnsaved, the marks in the left list, the step files in the
/// right list, and the messages; at the end it reports
/// "%d File(s) in Error" under "Processed Pictures".
///
/// Between two pictures it lets the host run pending events; the host may
/// then press the abort button (ToolButtonAbortClick), check, uncheck,
/// rename, add or delete entries: the run reads the list afresh at every
/// step. With state.Decode.threads > 0 the next frames are decoded ahead on
/// worker threads (see frame_prefetcher.h); what the run does stays exactly
/// the same. An exception from the operation or the host (std::bad_alloc,
/// say) ends the run: the working image is released, the decode workers are
/// joined, and the exception reaches the caller without the final message.
void StackingRun(RunContext& context, ImageOperation operation, OperationRecord* record,
                 bool saveSteps, bool firstIsMerged);

/// A "Processing..." command: without steps the run itself; with steps the
/// step dialog first (PrepareStepSaving), and cancelling it cancels all.
void StackingCommand(RunContext& context, ImageOperation operation, bool saveSteps);

/// Unchecks and disables an entry, then lets pending events run.
void DisableEntry(RunContext& context, int index, FileList& list);

/// The start of a run that makes a new result: the abort flags cleared, the
/// left list focused and pending events let through, then the result
/// buffer emptied (its frame map dropped) and marked unsaved. False when
/// the buffer cannot be allocated.
bool StartNewResult(RunContext& context);

}  // namespace nocturo

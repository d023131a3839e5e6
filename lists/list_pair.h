#pragma once
// The main window's two lists and which of them the list commands act on.
// The window maps the current side to its titles ("Left List" / "Right
// List") and colours; this class only keeps the state.

#include <functional>
#include <utility>

#include "lists/file_list.h"

namespace nocturo {

enum class ListSide { Left, Right };

/// The left list (pictures to process) and the right list (pictures the
/// program wrote), and which one is current. Both start empty, unsorted,
/// with the left list current.
class ListPair {
  public:
    ListPair() = default;
    ListPair(const ListPair&) = delete;
    ListPair& operator=(const ListPair&) = delete;

    FileList& Left() { return left_; }
    const FileList& Left() const { return left_; }
    FileList& Right() { return right_; }
    const FileList& Right() const { return right_; }
    FileList& List(ListSide side) { return side == ListSide::Left ? left_ : right_; }

    /// The side that last received the keyboard focus.
    ListSide CurrentSide() const { return currentSide_; }
    /// The list the list commands act on: the override while one is set
    /// (the mask directory browser's list while that window is active),
    /// otherwise the list of the current side.
    FileList& CurrentList();
    /// Sets or (with nullptr) ends the override. Not owned: end it before
    /// the list goes away.
    void SetCurrentListOverride(FileList* list) { override_ = list; }

    /// How the pair learns whether the main window is the active window.
    /// Without one the main window counts as active.
    void SetMainWindowActiveQuery(std::function<bool()> query) { isMainActive_ = std::move(query); }
    bool IsMainWindowActive() const { return !isMainActive_ || isMainActive_(); }
    /// Makes `side` current if the main window is the active window;
    /// otherwise nothing changes. Returns whether `side` is now current.
    bool SetCurrentList(ListSide side);

    /// "Swap List1 <> List2": exchanges the contents of the two lists (see
    /// Swap in list_commands.h) and makes the other side current, so the
    /// same file names stay in the current list.
    void Swap();

    /// The model part of "Clear Right List": when the right list has
    /// entries, `confirm` is asked first and only true goes on; an empty
    /// list goes on without asking. Going on empties the right list. Returns
    /// whether it went on (the window then shows the right list's current
    /// entry, which clears the view).
    bool ClearRightList(const std::function<bool()>& confirm);

  private:
    FileList left_;
    FileList right_;
    ListSide currentSide_ = ListSide::Left;
    FileList* override_ = nullptr;
    std::function<bool()> isMainActive_;
};

}  // namespace nocturo

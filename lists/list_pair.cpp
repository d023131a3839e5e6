#include "lists/list_pair.h"

#include "lists/list_commands.h"

namespace nocturo {

FileList& ListPair::CurrentList() {
    if (override_ != nullptr) {
        return *override_;
    }
    return List(currentSide_);
}

bool ListPair::SetCurrentList(ListSide side) {
    if (IsMainWindowActive()) {
        currentSide_ = side;
    }
    return currentSide_ == side;
}

void ListPair::Swap() {
    nocturo::Swap(left_, right_);
    currentSide_ = currentSide_ == ListSide::Left ? ListSide::Right : ListSide::Left;
}

bool ListPair::ClearRightList(const std::function<bool()>& confirm) {
    if (!right_.IsEmpty() && !(confirm && confirm())) {
        return false;
    }
    ResetList(right_);
    return true;
}

}  // namespace nocturo

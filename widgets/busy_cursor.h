#pragma once
// The hourglass while a command works, restored however the command ends
// (also by an early return or an exception).

#include <QApplication>

namespace nocturo {

/// Shows the busy cursor for the lifetime of the object.
class BusyCursor {
  public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace nocturo

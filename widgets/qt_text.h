#pragma once
// The libraries below the windows speak UTF-8 std::string; the widgets
// speak QString.

#include <QString>
#include <string>

namespace nocturo {

/// A UTF-8 text of the libraries as the widgets show it.
inline QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace nocturo

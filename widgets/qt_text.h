#pragma once
// The libraries below the windows speak UTF-8 std::string; the widgets
// speak QString.

#include <QString>
#include <cstdint>
#include <optional>
#include <string>

#include "core/text.h"

namespace nocturo {

/// A UTF-8 text of the libraries as the widgets show it.
inline QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

/// A whole number typed in a field, blanks around it allowed; nothing for
/// any other text.
inline std::optional<int32_t> TypedInteger(const QString& text) {
    return ParseInt32(Trim(text.toStdString()));
}

}  // namespace nocturo

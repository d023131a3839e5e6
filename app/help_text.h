#pragma once
// The quick manual and version history shown by the help window. It is a
// window text: language files replace it line by line.

#include <QString>

namespace nocturo {

/// The built-in help text, lines separated by '\n'.
QString HelpText();

}  // namespace nocturo

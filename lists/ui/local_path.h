#pragma once
// File names as the file system holds them, kept whole in a QString. Qt
// decodes names as UTF-8 and turns every byte that is not UTF-8 into U+FFFD,
// so a folder named in an older 8-bit encoding could be listed but never
// opened again. Here such a byte becomes the lone code unit U+DC80..U+DCFF
// (which valid UTF-8 never yields), and turning the text back gives the
// bytes it came from.

#include <QString>
#include <string>
#include <string_view>

namespace nocturo {

/// The name's bytes as text: valid UTF-8 decoded, every other byte b as
/// the code unit U+DC00 + b.
QString PathFromBytes(std::string_view bytes);
/// The bytes PathFromBytes took the text from; any other text as UTF-8.
std::string PathToBytes(const QString& path);
/// The text for showing: kept bytes as U+FFFD.
QString ShownPath(QString path);

}  // namespace nocturo

#pragma once
// All of the system's text is 8-bit Windows-1252. Inside the program it is
// held as bytes; conversion to and from Unicode happens only where text meets
// Qt (painting, the clipboard, dialogs) and always goes through Qt's codec.

#include <QString>
#include <string>
#include <string_view>

namespace tk {

using Text = std::string;

// Windows-1252 bytes to Unicode, for painting and dialogs.
QString toQString(std::string_view text);

// Unicode to Windows-1252 bytes. A character the code page cannot hold
// becomes '?', so typed input never turns into something else silently.
Text fromQString(const QString& text);

// A literal written readably in the UTF-8 source, converted to Windows-1252.
Text fromUtf8(std::string_view utf8);

constexpr char CR = '\r';

} // namespace tk

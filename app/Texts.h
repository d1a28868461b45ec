#pragma once

#include <QString>
#include <cstdint>

namespace app {

// The application title: the executable's file name without folder, cut at its first ".", with every
// character after the first in lower case ("ABCdef.Gh.EXE" gives "Abcdef").
QString applicationTitle(const QString& executablePath);

// The error box's text: the message with "." appended when it is not empty and its last character's code
// is greater than that of "." (so "!" and "." endings stay as they are).
QString errorBoxText(const QString& message);

// The text of the "Application Error" box for a failure that escaped start-up.
QString applicationErrorText(const QString& kind, const QString& module, std::uintptr_t place, const QString& message);

// The plain message box's text as Ctrl+C copies it: seven CR LF-ended lines.
QString plainMessageClipboardText(const QString& caption, const QString& message);

} // namespace app

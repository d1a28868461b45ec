#pragma once

#include <QLoggingCategory>
#include <QString>

// The support log: what the message boxes deliberately leave out (the cause behind the export's failure
// message, the engine's messages once their box is closed, texts the code page could not hold) and a line for
// every export (file, folder, rows, time). Warnings and information are on; the detail of each list's reload
// is debug, turned on with QT_LOGGING_RULES="pelmarot.*.debug=true".
namespace app {
Q_DECLARE_LOGGING_CATEGORY(lcData)   // pelmarot.data: the lists
Q_DECLARE_LOGGING_CATEGORY(lcEngine) // pelmarot.engine: the engine's failures, as the error box showed them
Q_DECLARE_LOGGING_CATEGORY(lcExport) // pelmarot.export: each export and the cause of a failed one

// Sends every log message, one line each, to `fd` (standard error unless a test gives another), and also to
// the systemd journal, with the identifier "pelmarot", when the session has a journal and standard error is
// not already connected to it. Switches the debug level of the pelmarot categories off unless
// QT_LOGGING_RULES turns it on.
void installSupportLog(int fd = 2);

// "2026-12-08T10:15:02.123 pelmarot.export warning: <message>"
QString supportLogLine(QtMsgType type, const char* category, const QString& message);
} // namespace app

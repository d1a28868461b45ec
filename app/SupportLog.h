#pragma once

#include <QLoggingCategory>
#include <QString>
#include <exception>

// The support log: what the message boxes deliberately leave out (the cause behind the export's failure
// message, the engine's messages once their box is closed, texts the code page could not hold) and a line for
// every export (file, folder, rows, time). Warnings and information are on; the detail of each list's reload
// is debug, turned on with QT_LOGGING_RULES="pelmarot.*.debug=true".
//
// The register holds health-insurance data: no line carries a person's identity number (MB) or name. A row
// is named by the doctor code, the table, the column and its place in the list (supportLogText).
namespace app {
Q_DECLARE_LOGGING_CATEGORY(lcData)   // pelmarot.data: the lists
Q_DECLARE_LOGGING_CATEGORY(lcEngine) // pelmarot.engine: the failures the error box showed, without persons
Q_DECLARE_LOGGING_CATEGORY(lcExport) // pelmarot.export: each export and the cause of a failed one

// The environment variable with which an administrator sends the support log to the systemd journal as well:
// PELMAROT_SUPPORT_LOG=journal. Without it the program writes no journal of its own.
constexpr const char* kSupportLogVariable = "PELMAROT_SUPPORT_LOG";

// Sends every log message, one line each, to `fd` (standard error unless a test gives another). When the
// administrator has turned it on (PELMAROT_SUPPORT_LOG=journal), the session has a journal and standard error
// is not already connected to it, also to the journal, with the identifier "pelmarot". Switches the debug
// level of the pelmarot categories off unless QT_LOGGING_RULES turns it on.
void installSupportLog(int fd = 2);

// A failure as the support log carries it: the data layer's text without the person it names, or what().
QString supportLogText(const std::exception& failure);

// "2026-12-08T10:15:02.123 pelmarot.export warning: <message>"
QString supportLogLine(QtMsgType type, const char* category, const QString& message);
} // namespace app

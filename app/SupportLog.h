#pragma once

#include <QLoggingCategory>
#include <QString>
#include <exception>
#include <optional>

// The support log: what the message boxes deliberately leave out (the cause behind the export's failure
// message, the engine's messages once their box is closed, texts the code page could not hold) and a line for
// every export (file, folder, rows, time). The window keeps no log: nothing of it is written anywhere unless a
// support person turns it on with PELMAROT_SUPPORT_LOG (supportLogTarget). Then warnings and information are
// written; the detail of each list's reload is debug, turned on with QT_LOGGING_RULES="pelmarot.*.debug=true".
//
// The register holds health-insurance data: no line carries a person's identity number (MB) or name. A row
// is named by the doctor code, the table, the column and its place in the list (supportLogText).
namespace app {
Q_DECLARE_LOGGING_CATEGORY(lcData)   // pelmarot.data: the lists
Q_DECLARE_LOGGING_CATEGORY(lcEngine) // pelmarot.engine: the failures the error box showed, without persons
Q_DECLARE_LOGGING_CATEGORY(lcExport) // pelmarot.export: each export and the cause of a failed one

// The environment variable with which a support person turns the support log on.
constexpr const char* kSupportLogVariable = "PELMAROT_SUPPORT_LOG";

enum class SupportLogTarget { None, StandardError, Journal };

// The target a value of PELMAROT_SUPPORT_LOG names: None when unset or empty, StandardError for "stderr",
// Journal for "journal"; nullopt for any other value.
std::optional<SupportLogTarget> supportLogTarget(const char* setting);

// Routes the program's messages by `setting`, the value of PELMAROT_SUPPORT_LOG (null when unset):
// - none: the pelmarot categories are dropped; the toolkit's own messages go where Qt sends them by default;
// - "stderr": every message, one line each, to `fd` (standard error unless a test gives another);
// - "journal": every message to the systemd journal, with the identifier "pelmarot"; to `fd` when the session
//   has no journal, after a line that says so.
// A value not understood is named in one line on `fd` and turns nothing on. Switches the debug level of the
// pelmarot categories off unless QT_LOGGING_RULES turns it on.
void installSupportLog(const char* setting, int fd = 2);

// A failure as the support log carries it: the data layer's text without the person it names, or what().
QString supportLogText(const std::exception& failure);

// "2026-12-08T10:15:02.123 pelmarot.export warning: <message>"
QString supportLogLine(QtMsgType type, const char* category, const QString& message);
} // namespace app

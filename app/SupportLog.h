#pragma once

#include <QLoggingCategory>

// The support log: what the message boxes deliberately leave out (the cause behind the export's failure
// message, texts the code page could not hold) goes to these categories, standard error and the journal.
namespace app {
Q_DECLARE_LOGGING_CATEGORY(lcData)
Q_DECLARE_LOGGING_CATEGORY(lcExport)
} // namespace app

#include "app/SupportLog.h"

namespace app {
Q_LOGGING_CATEGORY(lcData, "pelmarot.data")
Q_LOGGING_CATEGORY(lcExport, "pelmarot.export")
} // namespace app

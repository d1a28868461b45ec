#pragma once

#include "export/MonthEndStrategy.h"

namespace exportfile {

// The window's way: each doctor's list reloaded (one statement) and written on its own, on the run's connection
// and so in its consistent read. It takes every pending doctor. A doctor code that is not an active doctor's
// fails ("unknown or inactive doctor code"), and so does one the code page cannot hold. When the consistent
// read is lost (a server that stopped answering), the doctor that met it fails and the ledger gives up on the
// rest.
class ReloadEach final : public MonthEndStrategy {
public:
    void exportDoctors(MonthEndRun& run, MonthEndLedger& ledger) override;
};

} // namespace exportfile

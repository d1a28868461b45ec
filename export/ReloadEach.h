#pragma once

#include "export/MonthEndStrategy.h"

#include <string>

namespace exportfile {

// The window's way: each doctor's list reloaded (one statement) and written on its own, on the run's connection
// and so in its consistent read. A doctor code that is not an active doctor's fails ("unknown or inactive doctor
// code"), and so does one the code page cannot hold. When the consistent read is lost (a server that stopped
// answering), the doctor that met it fails and the rest are left untried (see abandoned()).
class ReloadEach final : public MonthEndStrategy {
public:
    std::vector<std::size_t> exportDoctors(MonthEndRun& run, const std::vector<std::size_t>& indexes) override;

    // Why the last exportDoctors() stopped before it tried every doctor; empty when it tried them all.
    const std::string& abandoned() const { return abandoned_; }

private:
    std::string abandoned_;
};

} // namespace exportfile

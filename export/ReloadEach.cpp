#include "export/ReloadEach.h"

#include "data/Connection.h"
#include "data/InsuredList.h"
#include "export/DoctorExport.h"
#include "export/FatalErrors.h"

#include <stdexcept>

namespace exportfile {
namespace {

void exportOne(MonthEndRun& run, MonthEndLedger& ledger, std::size_t i, data::InsuredList& list) {
    const Doctor& doctor = ledger.doctor(i);
    std::vector<std::string> warnings;
    std::int64_t rows = 0;
    try {
        if (!doctor.unheld.empty())
            throw std::runtime_error(doctor.unheld);
        if (!run.activeCodes.contains(doctor.code))
            throw std::runtime_error("unknown or inactive doctor code");
        // Before the reload, whose own message would say less, and after it, for a register replaced meanwhile.
        run.requireSameRegister();
        list.reload(doctor.code);
        run.requireSameRegister();
        rows = list.recordCount();
        for (const data::TextLoss& loss : list.textLosses())
            warnings.push_back(list.describe(loss));
        // The file is named as the window names it: the code's characters in the file system's UTF-8.
        writeDoctorFile(run.folder, doctor.fileCode, list, run.settings);
    } catch (const std::exception& e) {
        rethrowIfFatal();
        list.close();
        ledger.failed(i, e.what(), std::move(warnings));
        return;
    }
    list.close();
    ledger.written(i, rows, std::move(warnings));
}

} // namespace

void ReloadEach::exportDoctors(MonthEndRun& run, MonthEndLedger& ledger) {
    data::InsuredList list(run.connection);
    for (const std::size_t i : ledger.pending()) {
        exportOne(run, ledger, i, list);
        // A server that stopped answering would fail every later doctor only after its own wait.
        if (!ledger.result(i).written()) {
            std::string lost = run.connection.database().consistentReadLost();
            if (!lost.empty()) {
                ledger.giveUp(std::move(lost));
                return;
            }
        }
    }
}

} // namespace exportfile

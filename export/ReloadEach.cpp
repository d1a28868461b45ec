#include "export/ReloadEach.h"

#include "data/Connection.h"
#include "data/InsuredList.h"
#include "export/DoctorExport.h"

#include <new>
#include <stdexcept>
#include <system_error>

namespace exportfile {
namespace {

void exportOne(MonthEndRun& run, const Doctor& doctor, data::InsuredList& list, DoctorExportResult& result) {
    try {
        if (!doctor.unheld.empty())
            throw std::runtime_error(doctor.unheld);
        if (!run.activeCodes.contains(doctor.code))
            throw std::runtime_error("unknown or inactive doctor code");
        // Before the reload, whose own message would say less, and after it, for a register replaced meanwhile.
        run.requireSameRegister();
        list.reload(doctor.code);
        run.requireSameRegister();
        result.rows = list.recordCount();
        for (const data::TextLoss& loss : list.textLosses())
            result.warnings.push_back(list.describe(loss));
        // The file is named as the window names it: the code's characters in the file system's UTF-8.
        writeDoctorFile(run.folder, doctor.fileCode, list, run.settings);
        result.written = true;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::system_error&) {
        throw;
    } catch (const std::exception& e) {
        result.failure = e.what();
    }
    list.close();
}

} // namespace

std::vector<std::size_t> ReloadEach::exportDoctors(MonthEndRun& run, const std::vector<std::size_t>& indexes) {
    abandoned_.clear();
    data::InsuredList list(run.connection);
    for (std::size_t n = 0; n < indexes.size(); ++n) {
        const std::size_t i = indexes[n];
        DoctorExportResult& result = run.results[i];
        result.code = run.doctors[i].code;
        exportOne(run, run.doctors[i], list, result);
        run.finished(result);
        // A server that stopped answering would fail every later doctor only after its own wait.
        if (!result.written) {
            abandoned_ = run.connection.database().consistentReadLost();
            if (!abandoned_.empty())
                return {indexes.begin() + static_cast<std::ptrdiff_t>(n + 1), indexes.end()};
        }
    }
    return {};
}

} // namespace exportfile

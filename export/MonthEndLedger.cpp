#include "export/MonthEndLedger.h"

#include <algorithm>

namespace exportfile {

MonthEndLedger::MonthEndLedger(std::vector<Doctor> doctors, Told told)
    : doctors_(std::move(doctors)), results_(doctors_.size()), told_(std::move(told)) {
    for (std::size_t i = 0; i < doctors_.size(); ++i)
        results_[i].code = doctors_[i].code;
}

std::vector<std::size_t> MonthEndLedger::pending() const {
    std::vector<std::size_t> places;
    for (std::size_t i = 0; i < results_.size(); ++i)
        if (results_[i].outcome == DoctorExportResult::Outcome::Pending)
            places.push_back(i);
    return places;
}

std::size_t MonthEndLedger::count(DoctorExportResult::Outcome outcome) const {
    return static_cast<std::size_t>(
        std::count_if(results_.begin(), results_.end(), [&](const auto& result) { return result.outcome == outcome; }));
}

void MonthEndLedger::written(std::size_t i, std::int64_t rows, std::vector<std::string> warnings) {
    results_[i].outcome = DoctorExportResult::Outcome::Written;
    results_[i].rows = rows;
    results_[i].warnings = std::move(warnings);
    settle(i);
}

void MonthEndLedger::failed(std::size_t i, std::string failure, std::vector<std::string> warnings) {
    results_[i].outcome = DoctorExportResult::Outcome::Failed;
    results_[i].failure = std::move(failure);
    results_[i].warnings = std::move(warnings);
    settle(i);
}

void MonthEndLedger::settle(std::size_t i) {
    ++done_;
    if (told_)
        told_(done_, results_.size(), results_[i]);
}

void MonthEndLedger::giveUp(std::string why) {
    givenUp_ = std::move(why);
    for (DoctorExportResult& result : results_)
        if (result.outcome == DoctorExportResult::Outcome::Pending)
            result.outcome = DoctorExportResult::Outcome::NotTried;
}

} // namespace exportfile

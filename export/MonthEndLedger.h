#pragma once

#include "export/Doctor.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace exportfile {

// One doctor's outcome in a month end.
struct DoctorExportResult {
    enum class Outcome {
        Pending,  // no way of reading has taken the doctor yet
        Written,  // the file is written
        Failed,   // `failure` says why not
        NotTried, // the run gave up before the doctor (MonthEndLedger::givenUp() says why)
    };

    std::string code;
    Outcome outcome = Outcome::Pending;
    std::int64_t rows = 0; // when written
    std::string failure;
    // Texts of the list that the code page could not hold exactly and that the file holds transliterated,
    // one message each ("Osigurenici, MB ..., column IME: 'Hoxhë' is delivered as 'Hoxhe' (...)").
    std::vector<std::string> warnings;

    bool written() const { return outcome == Outcome::Written; }
};

// The record of one month end and the only one: every doctor asked for, by its place among them, pending until
// a way of reading the register writes its file or fails it, or the run gives up on the doctors still pending.
// The summary and the exit status are read off it.
class MonthEndLedger {
public:
    // Told of each doctor once its outcome is final: how many are final, of how many, and this one's outcome.
    using Told = std::function<void(std::size_t done, std::size_t total, const DoctorExportResult& last)>;

    explicit MonthEndLedger(std::vector<Doctor> doctors, Told told = {});

    std::size_t size() const { return doctors_.size(); }
    const Doctor& doctor(std::size_t i) const { return doctors_[i]; }
    const DoctorExportResult& result(std::size_t i) const { return results_[i]; }
    const std::vector<DoctorExportResult>& results() const { return results_; }
    // The places of the doctors still pending, in order.
    std::vector<std::size_t> pending() const;
    std::size_t count(DoctorExportResult::Outcome outcome) const;

    // REQUIRES (all three): the doctor at `i` is pending.
    void written(std::size_t i, std::int64_t rows, std::vector<std::string> warnings = {});
    void failed(std::size_t i, std::string failure, std::vector<std::string> warnings = {});

    // The register cannot be read any more: every doctor still pending is not tried, for this reason.
    void giveUp(std::string why);
    // Why the run gave up; empty when it tried every doctor.
    const std::string& givenUp() const { return givenUp_; }

private:
    void settle(std::size_t i);

    std::vector<Doctor> doctors_;
    std::vector<DoctorExportResult> results_;
    Told told_;
    std::size_t done_ = 0;
    std::string givenUp_;
};

} // namespace exportfile

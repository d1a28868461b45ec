#include "CheckReport.h"

#include <string>

namespace registercheck {
namespace {

constexpr ProblemKind kKinds[] = {
    ProblemKind::UnreadableTable,     ProblemKind::UnreadableDate, ProblemKind::UnheldText,
    ProblemKind::CollidingCode,       ProblemKind::CodeNoFileName, ProblemKind::DuplicateDoctor,
    ProblemKind::DuplicatePerson,     ProblemKind::UnknownDoctor,  ProblemKind::InactiveDoctor,
    ProblemKind::EmptyDeregistration, ProblemKind::FlagSpelling,
};
static_assert(std::size(kKinds) == kProblemKinds);

// A field of a finding on one line: the engine's messages of several lines joined by "; ".
std::string oneLine(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += "; ";
        else if (c != '\r')
            out += c;
    }
    return out;
}

void printCount(std::FILE* out, std::string_view label, std::int64_t count) {
    std::fprintf(out, "%.*s: %lld\n", static_cast<int>(label.size()), label.data(), static_cast<long long>(count));
}

bool needsDoctors(ProblemKind kind) {
    return kind == ProblemKind::UnknownDoctor || kind == ProblemKind::InactiveDoctor;
}

constexpr const char* kDoctorsUnread = "not known (Lekari cannot be read)";

} // namespace

void printFindings(std::FILE* out, const FindingList& findings) {
    for (const ProblemKind kind : kKinds) {
        const std::int64_t count = findings.count(kind);
        if (count == 0)
            continue;
        const std::string_view label = problemLabel(kind);
        std::fprintf(out, "== ");
        printCount(out, label, count);
        const auto& kept = findings.kept(kind);
        for (const Finding& f : kept)
            std::fprintf(out, "%.*s | %s | %s | %s | %s\n", static_cast<int>(f.table.size()), f.table.data(),
                         f.rowKey.empty() ? "whole table" : f.rowKey.c_str(), f.column.empty() ? "-" : f.column.c_str(),
                         oneLine(f.problem).c_str(), oneLine(f.consequence).c_str());
        if (const auto left = count - static_cast<std::int64_t>(kept.size()); left > 0)
            std::fprintf(out, "... and %lld more not shown\n", static_cast<long long>(left));
    }
}

void printSummary(std::FILE* out, const FindingList& findings, const RegisterCounts& counts) {
    const std::int64_t total = findings.total();
    if (total == 0)
        std::fprintf(out, "== summary: no problems found\n");
    else
        std::fprintf(out, "== summary: %lld problem%s found\n", static_cast<long long>(total), total == 1 ? "" : "s");
    for (const ProblemKind kind : kKinds) {
        const std::string_view label = problemLabel(kind);
        if (needsDoctors(kind) && !counts.doctorsRead)
            std::fprintf(out, "%.*s: %s\n", static_cast<int>(label.size()), label.data(), kDoctorsUnread);
        else
            printCount(out, label, findings.count(kind));
    }
    printCount(out, "doctors", counts.doctors);
    printCount(out, "active doctors", counts.activeDoctors);
    printCount(out, "persons", counts.persons);
    if (!counts.doctorsRead) {
        std::fprintf(out, "persons listed: %s\n", kDoctorsUnread);
        return;
    }
    printCount(out, "persons listed", counts.listed);
    printCount(out, "persons listed at 30%", counts.listedAt30);
    printCount(out, "persons listed at 70%", counts.listedAt70);
    printCount(out, "persons listed at 100%", counts.listedAt100);
    if (counts.listedWithoutPercent > 0)
        printCount(out, "persons listed whose percentage cannot be read", counts.listedWithoutPercent);
}

} // namespace registercheck

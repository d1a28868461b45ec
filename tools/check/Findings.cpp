#include "Findings.h"

#include <numeric>

namespace registercheck {

std::string_view problemLabel(ProblemKind kind) {
    switch (kind) {
    case ProblemKind::UnreadableTable:
        return "tables that cannot be read";
    case ProblemKind::UnreadableDate:
        return "dates that cannot be read";
    case ProblemKind::UnheldText:
        return "texts the code page cannot hold";
    case ProblemKind::CollidingCode:
        return "doctor codes that are another code in the code page";
    case ProblemKind::CodeNoFileName:
        return "doctor codes that cannot name a file";
    case ProblemKind::DuplicateDoctor:
        return "doctor codes in more than one row";
    case ProblemKind::DuplicatePerson:
        return "persons listed again with the same doctor";
    case ProblemKind::UnknownDoctor:
        return "persons whose doctor is not in Lekari";
    case ProblemKind::InactiveDoctor:
        return "persons whose doctor is inactive";
    case ProblemKind::EmptyDeregistration:
        return "empty texts in BR_ODJ";
    case ProblemKind::FlagSpelling:
        return "flags stored as neither true nor false";
    }
    return "?";
}

std::int64_t FindingList::total() const { return std::accumulate(counts_.begin(), counts_.end(), std::int64_t{0}); }

} // namespace registercheck

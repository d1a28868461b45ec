#pragma once

#include "Findings.h"
#include "RegisterCheck.h"

#include <cstdio>

namespace registercheck {

// Writes the findings kind by kind: a heading with the kind's count ("== dates that cannot be read: 2"), the
// kept findings one a line as "table | row key | column | what is wrong | what the program does with it", and
// how many more the list leaves out. Writes nothing when there are no findings.
void printFindings(std::FILE* out, const FindingList& findings);

// Writes the summary: the count of every kind ("dates that cannot be read: 2"), then what the register holds
// ("doctors: 1000", "persons listed at 30%: 61234").
void printSummary(std::FILE* out, const FindingList& findings, const RegisterCounts& counts);

} // namespace registercheck

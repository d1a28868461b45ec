#pragma once

#include "support/FixtureRegister.h"

#include <string>
#include <vector>

namespace testsupport {

// Every row of the doctor list and of every active doctor's insured-person list, as text, read through the
// alias kapitacija of `aliasText` (an alias file written into `dir`): for comparing two backends.
std::vector<std::string> listsAsText(const std::string& aliasText, const TempDir& dir);

} // namespace testsupport

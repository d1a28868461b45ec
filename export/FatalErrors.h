#pragma once

namespace exportfile {

// Called in a handler of a doctor's failure: rethrows the exception being handled when the month end cannot go
// on after it (memory or a thread the system refuses, std::bad_alloc and std::system_error), so that the run
// ends, removing its unfinished files, instead of failing doctor after doctor. Returns for any other failure,
// which is the doctor's own.
void rethrowIfFatal();

} // namespace exportfile

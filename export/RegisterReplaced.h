#pragma once

#include <stdexcept>

namespace exportfile {

// The register's files were replaced, or changed by another program, since the month end read its doctors: a
// doctor's list read now would come from another register than the doctor list. The text says so, naming the
// register, as the doctor's failure.
class RegisterReplaced : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace exportfile

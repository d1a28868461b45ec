#pragma once

#include <stdexcept>
#include <string>

namespace data {

// A failure of the data layer about a named object: the text is the object's name, a colon, a blank and
// the reason ("qOsigurenici: Field 'MB' not found").
class DataError : public std::runtime_error {
public:
    DataError(const std::string& objectName, const std::string& reason)
        : std::runtime_error(objectName + ": " + reason), logText_(what()) {}
    // A failure whose reason names a person (a row by its identity number): `logReason` says the same without
    // the person, for the support log.
    DataError(const std::string& objectName, const std::string& reason, const std::string& logReason)
        : std::runtime_error(objectName + ": " + reason), logText_(objectName + ": " + logReason) {}

    // The failure as the support log carries it: no person's identity number or name, a row named by the
    // list's doctor, the table and the row's place in the list. what() when the reason names no person.
    const std::string& logText() const { return logText_; }

private:
    std::string logText_;
};

} // namespace data

#pragma once

#include <stdexcept>
#include <string>

namespace data {

// A failure of the data layer about a named object: the text is the object's name, a colon, a blank and
// the reason ("qOsigurenici: Field 'MB' not found").
class DataError : public std::runtime_error {
public:
    DataError(const std::string& objectName, const std::string& reason)
        : std::runtime_error(objectName + ": " + reason) {}
};

} // namespace data

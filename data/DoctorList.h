#pragma once

#include "data/Query.h"

namespace data {

// The active doctors: the query qLekar over the table Lekari. Its current row is the current doctor.
class DoctorList : public Query {
public:
    explicit DoctorList(Connection& connection);

    // The current doctor's code (field lekar_s); the empty text when the list is closed or has no rows.
    // Throws DataError ("qLekar: The doctor code '...' cannot be held exactly by the code page ...") when the
    // stored code has a character the code page cannot hold: the code read would be another doctor's, or none.
    std::string currentCode() const;

    // "doctor A1, Lekari, row 3 of the list": the row's own code in front, as stored, once it is read.
    std::string supportLogPlace(int row) const override;

    Field& lekar_s;
    Field& ime;
    Field& ops_s;
};

} // namespace data

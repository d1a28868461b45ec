#pragma once

#include "data/Query.h"

namespace data {

// The insured persons registered with one doctor and not deregistered: the query qOsigurenici over the
// table Osigurenici, with the parameter lekar and the calculated field procent (engine::capitationPercent).
class InsuredList : public Query {
public:
    explicit InsuredList(Connection& connection);

    // Closes the list, binds the doctor's code to the parameter lekar (the empty text when there is no
    // doctor) and opens the list again.
    void reload(const std::string& doctorCode);

    // Works out procent for the current row; installed as onCalcFields by the constructor.
    void calculatePercent();

    Field& MB;
    Field& PRE;
    Field& TIME;
    Field& IME;
    Field& LEKAR_S;
    Field& BR_PRI;
    Field& UCEN_30;
    Field& UCEN_70;
    Field& procent;
    Field& DATA_PRI;
};

} // namespace data

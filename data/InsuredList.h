#pragma once

#include "data/Query.h"

namespace data {

// The capitation percentage of an insured person: 70 when UCEN_70 is set, else 30 when UCEN_30 is set,
// else 100.
constexpr std::int32_t capitationPercent(bool ucen30, bool ucen70) { return ucen70 ? 70 : ucen30 ? 30 : 100; }

// The insured persons registered with one doctor and not deregistered: the query qOsigurenici over the
// table Osigurenici, with the parameter lekar and the calculated field procent.
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

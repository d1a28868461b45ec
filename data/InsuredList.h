#pragma once

#include "data/Query.h"

#include <string>
#include <string_view>

namespace data {

// Which rows the insured-person list holds: those of the table whose key column equals the parameter (one
// doctor's) and whose blank column is empty (not deregistered). The list's statement and the month end's single
// read of every doctor (Database::readInKeyOrder) are both made from this one description, so that they select
// the same rows.
struct ListSelection {
    std::string_view table; // the names as the schema spells them
    std::string_view keyColumn;
    std::string_view parameter;
    std::string_view blankColumn;

    // "select * from osigurenici where lekar_s = :lekar and br_odj is null", one line ended by CR LF as every
    // line of a list's statement is.
    std::string statement() const;
};

inline constexpr ListSelection kInsuredSelection{"Osigurenici", "LEKAR_S", "lekar", "BR_ODJ"};

// The insured persons registered with one doctor and not deregistered: the query qOsigurenici over the
// table Osigurenici (kInsuredSelection), with the parameter lekar and the calculated field procent
// (engine::capitationPercent).
class InsuredList : public Query {
public:
    explicit InsuredList(Connection& connection);

    // Closes the list, binds the doctor's code to the parameter lekar (the empty text when there is no
    // doctor) and opens the list again.
    void reload(const std::string& doctorCode);

    // Reads the persons of every doctor in one pass over Osigurenici instead of one reload per doctor, where the
    // database can deliver each doctor's persons in the order reload() does: `visit` runs with the list
    // standing on each row that the list of the row's doctor (LEKAR_S) holds, in that order, and on rows that
    // no doctor's list holds, which a reader leaves out by their code (a code the code page cannot hold exactly
    // is no doctor's; see Query::streamRows, also for rows with a value that cannot be read). Returns false,
    // having read nothing, when the database cannot promise the order. REQUIRES: the list is closed. Nothing
    // else may use the connection's database until it returns (the read may run ahead on a thread of its own).
    bool streamEveryDoctor(const std::function<void(bool wholeRow)>& visit);

    // Works out procent for the current row; installed as onCalcFields by the constructor.
    void qOsigureniciCalcFields();

    // "doctor A1, Osigurenici, row 3 of the list": the doctor of the last reload() in front.
    std::string supportLogPlace(int row) const override;

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

private:
    std::string doctorCode_; // bound by the last reload(), in the code page
};

} // namespace data

#include "data/InsuredList.h"

#include "data/Connection.h"
#include "engine/CodePage.h"
#include "engine/RegisterSchema.h"
#include "engine/Text.h"

namespace data {
namespace {

// The size of the column of Osigurenici that a text field is bound to.
int columnSize(const char* name) { return engine::insuredTable().column(name).size; }

} // namespace

std::string ListSelection::statement() const {
    return "select * from " + engine::toLower(table) + " where " + engine::toLower(keyColumn) +
           " = :" + std::string(parameter) + " and " + engine::toLower(blankColumn) + " is null\r\n";
}

InsuredList::InsuredList(Connection& connection)
    : Query("qOsigurenici", connection), MB(addField("MB", FieldKind::String, columnSize("MB"))),
      PRE(addField("PRE", FieldKind::String, columnSize("PRE"))),
      TIME(addField("TIME", FieldKind::String, columnSize("TIME"))),
      IME(addField("IME", FieldKind::String, columnSize("IME"))),
      LEKAR_S(addField("LEKAR_S", FieldKind::String, columnSize("LEKAR_S"))),
      BR_PRI(addField("BR_PRI", FieldKind::String, columnSize("BR_PRI"))),
      UCEN_30(addField("UCEN_30", FieldKind::Boolean)), UCEN_70(addField("UCEN_70", FieldKind::Boolean)),
      procent(addCalculatedField("procent", FieldKind::Integer)), DATA_PRI(addField("DATA_PRI", FieldKind::Date)) {
    setSql(kInsuredSelection.statement());
    onCalcFields = [this](Query&) { qOsigureniciCalcFields(); };
    setRowKey(std::string(kInsuredSelection.table), MB);
}

bool InsuredList::streamEveryDoctor(const std::function<void(bool wholeRow)>& visit) {
    // The statement of reload() read once for every value of lekar_s.
    const auto cursor = connection().database().readInKeyOrder(kInsuredSelection.table, kInsuredSelection.keyColumn,
                                                               kInsuredSelection.blankColumn);
    if (!cursor)
        return false;
    streamRows(*cursor, visit);
    return true;
}

void InsuredList::reload(const std::string& doctorCode) {
    close();
    setParamString("lekar", doctorCode);
    doctorCode_ = doctorCode;
    open();
}

std::string InsuredList::supportLogPlace(int row) const {
    return "doctor " + codePage().toUtf8(doctorCode_) + ", " + Query::supportLogPlace(row);
}

void InsuredList::qOsigureniciCalcFields() {
    procent.setInteger(engine::capitationPercent(UCEN_30.asBoolean(), UCEN_70.asBoolean()));
}

} // namespace data

#include "data/InsuredList.h"

namespace data {

InsuredList::InsuredList(Connection& connection)
    : Query("qOsigurenici", connection), MB(addField("MB", FieldKind::String, 13)),
      PRE(addField("PRE", FieldKind::String, 20)), TIME(addField("TIME", FieldKind::String, 15)),
      IME(addField("IME", FieldKind::String, 15)), LEKAR_S(addField("LEKAR_S", FieldKind::String, 6)),
      BR_PRI(addField("BR_PRI", FieldKind::String, 8)), UCEN_30(addField("UCEN_30", FieldKind::Boolean)),
      UCEN_70(addField("UCEN_70", FieldKind::Boolean)), procent(addCalculatedField("procent", FieldKind::Integer)),
      DATA_PRI(addField("DATA_PRI", FieldKind::Date)) {
    setSql("select * from osigurenici where lekar_s = :lekar and br_odj is null");
    onCalcFields = [this](Query&) { calculatePercent(); };
    setRowKey("Osigurenici", MB);
}

void InsuredList::reload(const std::string& doctorCode) {
    close();
    setParamString("lekar", doctorCode);
    open();
}

void InsuredList::calculatePercent() {
    procent.setInteger(capitationPercent(UCEN_30.asBoolean(), UCEN_70.asBoolean()));
}

} // namespace data

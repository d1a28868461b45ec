#include "data/DoctorList.h"

namespace data {

DoctorList::DoctorList(Connection& connection)
    : Query("qLekar", connection), lekar_s(addField("lekar_s", FieldKind::String, 6)),
      ime(addField("ime", FieldKind::String, 36)), ops_s(addField("ops_s", FieldKind::String, 3)) {
    setSql("select lekar_s,pre+' '+ime as ime,ops_s from Lekari\r\n"
           "where aktiven=true\r\n");
}

std::string DoctorList::currentCode() const {
    if (!active() || isEmpty())
        return {};
    return std::string(lekar_s.asString());
}

} // namespace data

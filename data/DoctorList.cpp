#include "data/DoctorList.h"

#include "data/DataError.h"
#include "engine/CodePage.h"
#include "engine/RegisterSchema.h"

namespace data {

DoctorList::DoctorList(Connection& connection)
    : Query("qLekar", connection),
      lekar_s(addField("lekar_s", FieldKind::String, engine::doctorTable().column("LEKAR_S").size)),
      ime(addField("ime", FieldKind::String, 36)),
      ops_s(addField("ops_s", FieldKind::String, engine::doctorTable().column("OPS_S").size)) {
    setSql("select lekar_s,pre+' '+ime as ime,ops_s from Lekari\r\n"
           "where aktiven=true\r\n"
           "\r\n");
    setRowKey("Lekari", lekar_s);
}

std::string DoctorList::currentCode() const {
    if (!active() || isEmpty())
        return {};
    // A code the code page cannot hold would bind another code (or none) to the insured-person list and name
    // another file: two codes of one row of unheld characters even become the same name.
    if (const TextLoss* loss = textLossOf(recNo(), lekar_s))
        throw DataError(name(), "The doctor code '" + loss->stored + "' cannot be held exactly by the code page " +
                                    codePageName() + "; its list and its file would be another doctor's");
    return std::string(lekar_s.asString());
}

std::string DoctorList::supportLogPlace(int row) const {
    const std::string place = Query::supportLogPlace(row);
    if (row >= rows().rowCount() || rows().isNull(row, lekar_s.index()))
        return place;
    const TextLoss* loss = textLossOf(row, lekar_s);
    return "doctor " + (loss ? loss->stored : codePage().toUtf8(rows().string(row, lekar_s.index()))) + ", " + place;
}

} // namespace data

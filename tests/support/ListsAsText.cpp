#include "support/ListsAsText.h"

#include "data/Connection.h"
#include "data/DoctorList.h"
#include "data/InsuredList.h"

namespace testsupport {

// Every row of both lists as text, for comparing two backends.
std::vector<std::string> listsAsText(const std::string& aliasText, const TempDir& dir) {
    AliasFileScope scope(dir.file("lists.ini"), aliasText);
    data::Connection kdb;
    kdb.open();
    data::DoctorList doctors(kdb);
    doctors.open();
    std::vector<std::string> out;
    std::vector<std::string> codes;
    for (doctors.first(); !doctors.eof(); doctors.next()) {
        out.push_back(std::string(doctors.lekar_s.asString()) + "|" + std::string(doctors.ime.asString()) + "|" +
                      std::string(doctors.ops_s.asString()));
        codes.emplace_back(doctors.lekar_s.asString());
    }
    data::InsuredList list(kdb);
    for (const auto& code : codes) {
        list.reload(code);
        for (list.first(); !list.eof(); list.next()) {
            std::string row;
            for (std::size_t f = 0; f < list.fieldCount(); ++f) {
                const data::Field& field = list.field(f);
                row += field.isNull() ? "<null>" : "";
                switch (field.kind()) {
                case data::FieldKind::String:
                    row += std::string(field.asString());
                    break;
                case data::FieldKind::Boolean:
                    row += field.asBoolean() ? "T" : "F";
                    break;
                case data::FieldKind::Date:
                    row += field.isNull() ? "" : std::to_string(field.asDate());
                    break;
                case data::FieldKind::Integer:
                    row += std::to_string(field.asInteger());
                    break;
                }
                row += '|';
            }
            out.push_back(row);
        }
    }
    return out;
}

} // namespace testsupport

// The connection and the two lists over real SQLite registers.
#include "data/Connection.h"
#include "data/DataError.h"
#include "data/DoctorList.h"
#include "data/InsuredList.h"
#include "engine/EngineError.h"
#include "support/Failures.h"
#include "support/FixtureRegister.h"

#include <functional>
#include <gtest/gtest.h>

using namespace testsupport;

namespace {

PersonRow person(std::string mb, std::string doctor, bool u30, bool u70) {
    PersonRow p;
    p.mb = std::move(mb);
    p.surname = "Petrovski";
    p.fathersName = "Ilija";
    p.firstName = "Marko";
    p.doctorCode = std::move(doctor);
    p.registrationNumber = "123";
    p.ucen30 = u30;
    p.ucen70 = u70;
    p.registrationDate = "2001-02-03";
    return p;
}

class Lists : public ::testing::Test {
protected:
    void SetUp() override {
        PersonRow deregistered = person("0000000000009", "100001", false, false);
        deregistered.deregistrationNumber = "77";
        PersonRow noDate = person("0000000000005", "100001", false, false);
        noDate.registrationDate.reset();
        noDate.fathersName = "";
        writeSqliteRegister(
            dbPath(),
            {{"100001", "Petrovski", "Ilija"},
             {"A1", "Ќирил", "Ана"},
             {"999", "Off", "Line", "001", false},
             {"E", "Empty", "Doc"}},
            {person("0000000000001", "100001", false, false), person("0000000000002", "100001", true, false),
             person("0000000000003", "100001", false, true), person("0000000000004", "100001", true, true),
             deregistered, noDate, person("0000000000010", "A1", false, false),
             person("0000000000011", "999", false, false), person("0000000000012", "", false, false)});
        scope_ = std::make_unique<AliasFileScope>(dir_.file("aliases.ini"), AliasFileScope::sqliteAlias(dbPath()));
    }
    std::string dbPath() const { return dir_.file("k.sqlite"); }

    TempDir dir_;
    std::unique_ptr<AliasFileScope> scope_;
};

} // namespace

TEST_F(Lists, DoctorListHoldsTheActiveDoctorsWithSurnameBlankFirstName) {
    data::Connection kdb;
    kdb.open();
    data::DoctorList qLekar(kdb);
    EXPECT_EQ(qLekar.sql(), "select lekar_s,pre+' '+ime as ime,ops_s from Lekari\r\nwhere aktiven=true\r\n\r\n");
    EXPECT_EQ(qLekar.currentCode(), ""); // closed
    qLekar.open();
    ASSERT_EQ(qLekar.recordCount(), 3);
    EXPECT_EQ(qLekar.currentCode(), "100001");
    EXPECT_EQ(qLekar.ime.asString(), "Petrovski Ilija");
    qLekar.next();
    EXPECT_EQ(qLekar.lekar_s.asString(), "A1");
    EXPECT_EQ(qLekar.ime.asString(), "\x8D\xE8\xF0\xE8\xEB \xC0\xED\xE0"); // windows-1251 bytes
    qLekar.next();
    EXPECT_EQ(qLekar.currentCode(), "E");
    qLekar.next();
    EXPECT_TRUE(qLekar.eof());
    EXPECT_EQ(qLekar.currentCode(), "E");
}

TEST_F(Lists, InsuredListHoldsRegisteredPersonsWithTheirPercentage) {
    data::Connection kdb;
    kdb.open();
    data::InsuredList list(kdb);
    EXPECT_EQ(list.sql(), "select * from osigurenici where lekar_s = :lekar and br_odj is null\r\n");
    EXPECT_EQ(failureOf([&] { list.first(); }), "qOsigurenici: Cannot perform this operation on a closed dataset");

    list.reload("100001");
    std::vector<std::pair<std::string, int>> seen;
    for (list.first(); !list.eof(); list.next())
        seen.emplace_back(std::string(list.MB.asString()), list.procent.asInteger());
    // Deregistered person 9 is absent; both flags give 70, only UCEN_30 gives 30, neither gives 100.
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, int>>{{"0000000000001", 100},
                                                              {"0000000000002", 30},
                                                              {"0000000000003", 70},
                                                              {"0000000000004", 70},
                                                              {"0000000000005", 100}}));
    list.last();
    EXPECT_TRUE(list.DATA_PRI.isNull());
    EXPECT_EQ(list.TIME.asString(), "");
    list.first();
    EXPECT_FALSE(list.DATA_PRI.isNull());
    EXPECT_EQ(list.DATA_PRI.asDate(), engine::dayNumberOf(2001, 2, 3));

    list.reload("E");
    EXPECT_EQ(list.recordCount(), 0);
    list.first();
    EXPECT_TRUE(list.eof());

    // An empty code is sent as the empty string, never as null: it finds the person without a doctor.
    list.reload("");
    EXPECT_EQ(list.recordCount(), 1);
    EXPECT_EQ(list.MB.asString(), "0000000000012");
}

TEST_F(Lists, MissingColumnsAndTypeMismatchesAreNamedAfterTheList) {
    runSql(dbPath(), "CREATE TABLE Bad (LEKAR_S INTEGER, PRE TEXT, IME TEXT, OPS_S TEXT, AKTIVEN BOOLEAN);"
                     "ALTER TABLE Osigurenici RENAME COLUMN MB TO EMBG;");
    data::Connection kdb;
    kdb.open();
    data::InsuredList list(kdb);
    EXPECT_EQ(failureOf([&] { list.reload("A1"); }), "qOsigurenici: Field 'MB' not found");
    EXPECT_FALSE(list.active());

    data::DoctorList doctors(kdb);
    doctors.setSql("select lekar_s, pre as ime, ops_s from Bad");
    EXPECT_EQ(failureOf([&] { doctors.open(); }),
              "qLekar: Type mismatch for field 'lekar_s', expecting: String actual: Integer");
    EXPECT_EQ(failureOf([&] { list.setParamString("nope", ""); }), "qOsigurenici: Parameter 'nope' not found");
}

TEST_F(Lists, DirtyValuesAreReadOrNamedByTableRowAndColumn) {
    data::Connection kdb;
    kdb.open();
    data::InsuredList list(kdb);
    struct Case {
        const char* update;  // applied to the person 0000000000010 of doctor A1
        const char* failure; // "" when the list loads
        int percent;
    };
    const std::string row = "qOsigurenici: Osigurenici, MB 0000000000010: ";
    for (const Case& c : std::initializer_list<Case>{
             {"DATA_PRI = ''", "", 100}, // an empty text in a date column is a blank date
             {"DATA_PRI = '2024-13-45'", "Invalid date '2024-13-45' in column DATA_PRI", 0},
             {"DATA_PRI = '2001-02-30'", "Invalid date '2001-02-30' in column DATA_PRI", 0},
             {"DATA_PRI = 20010203", "Invalid date '20010203' in column DATA_PRI", 0},
             {"UCEN_70 = 'yes'", "", 70},
             {"UCEN_70 = 'F', UCEN_30 = 'T'", "", 30},
             {"UCEN_70 = 'maybe'", "Invalid boolean 'maybe' in column UCEN_70", 0},
             {"UCEN_30 = x'00ff'", "Invalid boolean '\\x00\\xFF' in column UCEN_30", 0},
         }) {
        runSql(dbPath(), "UPDATE Osigurenici SET DATA_PRI = '2001-02-03', UCEN_30 = 0, UCEN_70 = 0, " +
                             std::string(c.update) + " WHERE MB = '0000000000010'");
        if (*c.failure) {
            EXPECT_EQ(failureOf([&] { list.reload("A1"); }), row + c.failure) << c.update;
            EXPECT_FALSE(list.active());
            continue;
        }
        list.reload("A1");
        ASSERT_EQ(list.recordCount(), 1) << c.update;
        EXPECT_EQ(list.procent.asInteger(), c.percent) << c.update;
        EXPECT_EQ(list.DATA_PRI.isNull(), std::string(c.update) == "DATA_PRI = ''") << c.update;
    }
    // Without a key the row is counted.
    runSql(dbPath(),
           "UPDATE Osigurenici SET MB = NULL, UCEN_30 = 0, DATA_PRI = '2024-13-45' WHERE MB = '0000000000010'");
    EXPECT_EQ(failureOf([&] { list.reload("A1"); }),
              "qOsigurenici: Osigurenici, row 1 (MB blank): Invalid date '2024-13-45' in column DATA_PRI");

    AliasFileScope other(dir_.file("other.ini"), "[elsewhere]\ndriver=sqlite\npath=x\n");
    data::Connection missing;
    EXPECT_EQ(failureOf([&] { missing.open(); }),
              "Alias 'kapitacija' is not defined in the alias file " + dir_.file("other.ini"));
    EXPECT_FALSE(missing.connected());
    EXPECT_EQ(failureOf([&] { missing.database(); }), "KDB: Database is not connected");
}

TEST_F(Lists, TextsTheCodePageCannotHoldAreReportedAndCodesRefused) {
    runSql(dbPath(), "UPDATE Osigurenici SET IME = 'Hoxhë', PRE = 'Çlirim' WHERE MB = '0000000000010';"
                     "INSERT INTO Lekari VALUES ('中1', 'Wang', 'Li', '001', 1), ('中2', 'Wang', 'Mei', '001', 1)");
    data::Connection kdb;
    kdb.open();
    data::InsuredList list(kdb);
    list.reload("A1");
    EXPECT_EQ(list.IME.asString(), "Hoxhe");
    EXPECT_EQ(list.PRE.asString(), "Clirim");
    std::vector<std::string> reported;
    for (const auto& loss : list.textLosses())
        reported.push_back(list.describe(loss));
    EXPECT_EQ(reported, (std::vector<std::string>{
                            "Osigurenici, MB 0000000000010, column PRE: 'Çlirim' is delivered as 'Clirim' (the code "
                            "page windows-1251 cannot hold it)",
                            "Osigurenici, MB 0000000000010, column IME: 'Hoxhë' is delivered as 'Hoxhe' (the code "
                            "page windows-1251 cannot hold it)"}));
    EXPECT_EQ(list.textLossOf(0, list.MB), nullptr);

    // Both codes would read "?1": neither may name a list or a file.
    data::DoctorList doctors(kdb);
    doctors.open();
    int refused = 0;
    for (doctors.first(); !doctors.eof(); doctors.next()) {
        const std::string failure = failureOf([&] { doctors.currentCode(); });
        if (failure == "(no failure)")
            continue;
        ++refused;
        EXPECT_TRUE(failure == "qLekar: The doctor code '中1' cannot be held exactly by the code page windows-1251; "
                               "its list and its file would be another doctor's" ||
                    failure == "qLekar: The doctor code '中2' cannot be held exactly by the code page windows-1251; "
                               "its list and its file would be another doctor's")
            << failure;
    }
    EXPECT_EQ(refused, 2);
    list.reload("A1");
    list.close();
    EXPECT_TRUE(list.textLosses().empty());
}

TEST_F(Lists, ObserversHearOfAResetBeforeAndAfterTheRowsChangeAlsoWhenOpeningFails) {
    // Records the number of rows the list holds at each notice: before a reset they are still the old ones.
    struct Recorder : data::QueryObserver {
        explicit Recorder(const data::Query& query) : query(query) {}
        void rowsAboutToReset() override { notices.push_back("about " + std::to_string(query.recordCount())); }
        void rowsReset() override { notices.push_back("reset " + std::to_string(query.recordCount())); }
        void currentRowChanged(int) override {}
        const data::Query& query;
        std::vector<std::string> notices;
    };
    data::Connection kdb;
    kdb.open();
    data::InsuredList list(kdb);
    Recorder recorder(list);
    list.addObserver(&recorder);
    list.reload("100001");
    list.reload("A1");
    runSql(dbPath(), "UPDATE Osigurenici SET DATA_PRI = 'bad' WHERE MB = '0000000000010'");
    EXPECT_NE(failureOf([&] { list.reload("A1"); }), "(no failure)");
    EXPECT_EQ(recorder.notices, (std::vector<std::string>{"about 0", "reset 5", "about 5", "reset 0", "about 0",
                                                          "reset 1", "about 1", "reset 0", "about 0", "reset 0"}));
    list.removeObserver(&recorder);
}

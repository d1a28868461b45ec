// The paradox driver: the SQL of both lists over a folder of Paradox tables, compared with the same register
// in SQLite; table lookup, column types, the index and its invalidation, and the messages of failures.
#include "data/Connection.h"
#include "data/DoctorList.h"
#include "data/InsuredList.h"
#include "engine/Engine.h"
#include "engine/EngineError.h"
#include "engine/ParadoxFixtures.h"

#include "support/Failures.h"

extern "C" {
#include <paradox.h>
}

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

using namespace testsupport;

namespace {

// A register with doctors of Latin and Cyrillic codes and names, an inactive doctor, and enough persons to
// fill several blocks, with every combination of the flags, missing dates and deregistered persons.
void makeRegister(std::vector<DoctorRow>& doctors, std::vector<PersonRow>& persons) {
    doctors = {{"100001", "Petrovski", "Ilija"},
               {"A1", "Ќирил", "Ана", "002"},
               {"999", "Off", "Line", "001", false},
               {"E", "Empty", "Doc"},
               {"Ђ7", "Ђорђевиќ", "Мила", "003"}};
    const char* codes[] = {"100001", "A1", "999", "Ђ7", "100001", "A1", "NONE"};
    const char* surnames[] = {"Petrovski", "Јовановска", "Stojanov", "Ѕвездаков"};
    for (int i = 0; i < 500; ++i) {
        PersonRow p;
        p.mb = std::to_string(1000000000000LL + i * 7919);
        p.surname = surnames[i % 4];
        p.fathersName = i % 3 ? "Ilija" : "Љубе";
        p.firstName = "Ime" + std::to_string(i);
        p.doctorCode = codes[i % 7];
        p.registrationNumber = std::to_string(i * 13 % 100000);
        p.ucen30 = i % 2 == 0;
        p.ucen70 = i % 5 == 0;
        if (i % 11 != 0)
            p.registrationDate =
                std::to_string(1990 + i % 30) + "-0" + std::to_string(1 + i % 9) + "-1" + std::to_string(i % 10);
        if (i % 13 == 0)
            p.deregistrationNumber = "D" + std::to_string(i);
        persons.push_back(p);
    }
}

// Everything both lists show for every doctor, one line per row, with the blank flags.
std::vector<std::string> listsOf(const std::string& aliasFile, const std::string& aliasContents,
                                 const engine::PasswordPrompt& prompt = {}) {
    AliasFileScope scope(aliasFile, aliasContents);
    data::Connection kdb;
    kdb.setPasswordPrompt(prompt);
    kdb.open();
    data::DoctorList doctors(kdb);
    doctors.open();
    std::vector<std::string> lines;
    std::vector<std::string> codes;
    const auto text = [](const data::Field& f) { return (f.isNull() ? "<null>" : "") + std::string(f.asString()); };
    for (doctors.first(); !doctors.eof(); doctors.next()) {
        lines.push_back(text(doctors.lekar_s) + "|" + text(doctors.ime) + "|" + text(doctors.ops_s));
        codes.push_back(doctors.currentCode());
    }
    codes.push_back("999"); // inactive, but with persons
    codes.push_back("NOPE");
    data::InsuredList list(kdb);
    for (const auto& code : codes) {
        list.reload(code);
        lines.push_back("doctor " + code + ": " + std::to_string(list.recordCount()) + " rows");
        for (list.first(); !list.eof(); list.next())
            lines.push_back(text(list.MB) + "|" + text(list.PRE) + "|" + text(list.TIME) + "|" + text(list.IME) + "|" +
                            text(list.LEKAR_S) + "|" + text(list.BR_PRI) + "|" +
                            std::to_string(list.UCEN_30.asBoolean()) + std::to_string(list.UCEN_70.asBoolean()) + "|" +
                            std::to_string(list.procent.asInteger()) + "|" +
                            (list.DATA_PRI.isNull() ? "<null>" : std::to_string(list.DATA_PRI.asDate())));
    }
    return lines;
}

std::unique_ptr<engine::Database> openFolder(const TempDir& dir, const std::string& extra = {}) {
    AliasFileScope scope(dir.file("aliases.ini"), paradoxAlias(dir.path()) + extra);
    return engine::Engine().openDatabase("kapitacija");
}

std::vector<std::string> firstColumn(engine::Database& db, const std::string& sql,
                                     const std::vector<std::string>& parameters = {}) {
    auto cursor = db.execute(sql, parameters);
    std::vector<std::string> values;
    while (cursor->next())
        values.emplace_back(cursor->isBlank(0) ? "<null>" : cursor->text(0));
    return values;
}

void writePersons(const std::string& path, int count, int doctors, const std::vector<PxlibTable::Field>& extra = {}) {
    std::vector<PxlibTable::Field> fields = {{"MB", pxfAlpha, 13}, {"LEKAR_S", pxfAlpha, 6}, {"BR_ODJ", pxfAlpha, 8}};
    fields.insert(fields.end(), extra.begin(), extra.end());
    PxlibTable table(path, fields);
    for (int i = 0; i < count; ++i) {
        table.beginRecord();
        table.alpha(0, std::to_string(i));
        table.alpha(1, "D" + std::to_string(i * 7 % doctors));
        table.appendRecord();
    }
}

} // namespace

TEST(ParadoxDriver, BothListsShowTheSameAsTheSameRegisterInSqlite) {
    std::vector<DoctorRow> doctors;
    std::vector<PersonRow> persons;
    makeRegister(doctors, persons);
    TempDir dir;
    writeSqliteRegister(dir.file("k.sqlite"), doctors, persons);
    std::filesystem::create_directory(dir.file("paradox"));
    writeParadoxRegister(dir.file("paradox"), doctors, persons);
    ASSERT_GT(readFile(dir.file("paradox/Osigurenici.DB")).size(), 0x800u + 2 * 16384) << "meant to span blocks";

    const auto sqlite = listsOf(dir.file("aliases.ini"), AliasFileScope::sqliteAlias(dir.file("k.sqlite")));
    const auto paradox = listsOf(dir.file("aliases.ini"), paradoxAlias(dir.file("paradox")));
    EXPECT_EQ(paradox, sqlite);

    // The comparison is not empty: the lists hold the fixture's doctors and persons, Cyrillic in windows-1251.
    ASSERT_GE(paradox.size(), 4u);
    EXPECT_EQ(paradox[1], "A1|\x8D\xE8\xF0\xE8\xEB \xC0\xED\xE0|002");
    EXPECT_EQ(paradox[3], "\x80"
                          "7|\x80\xEE\xF0\x90\xE5\xE2\xE8\x9D \xCC\xE8\xEB\xE0|003");
    EXPECT_NE(std::find(paradox.begin(), paradox.end(),
                        "doctor \x80"
                        "7: 66 rows"),
              paradox.end());
}

TEST(ParadoxDriver, FindsTablesWithoutRegardToCaseAndNamesWhatFails) {
    TempDir dir;
    writePersons(dir.file("osigurenici.db"), 10, 3);
    {
        PxlibTable lekari(dir.file("LEKARI.DB"), {{"LEKAR_S", pxfAlpha, 6}});
        lekari.beginRecord();
        lekari.alpha(0, "D1");
        lekari.appendRecord();
    }
    writeBytes(dir.file("Broken.DB"), std::string(0x30, '\x01'));
    auto db = openFolder(dir);
    EXPECT_EQ(firstColumn(*db, "select lekar_s from Lekari"), std::vector<std::string>{"D1"});
    EXPECT_EQ(firstColumn(*db, "select count(*) from OSIGURENICI where lekar_s = ?", {"D1"}),
              std::vector<std::string>{"3"});

    EXPECT_EQ(failureOf([&] { db->execute("select * from Nowhere", {}); }),
              "Table 'Nowhere' does not exist in the database " + dir.path());
    EXPECT_EQ(failureOf([&] { db->execute("delete from Lekari", {}); }),
              "The statement would change the database " + dir.path() + ", which this program only reads");
    EXPECT_EQ(failureOf([&] { db->execute("select * from broken", {}); }),
              dir.file("Broken.DB") + ", header: the file holds 48 bytes, too few for a Paradox table");
    EXPECT_NE(failureOf([&] { db->execute("attach database ? as other", {dir.file("x.sqlite")})->next(); }),
              "(no failure)");
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.sqlite")));

    writeBytes(dir.file("lekari.db"), readFile(dir.file("LEKARI.DB")));
    auto fresh = openFolder(dir);
    EXPECT_EQ(failureOf([&] { fresh->execute("select * from Lekari", {}); }),
              "Table 'Lekari' is more than one file in the folder " + dir.path() + ": LEKARI.DB, lekari.db");

    engine::Engine engine;
    AliasFileScope scope(dir.file("aliases.ini"), "[nopath]\ndriver = paradox\n"
                                                  "[missing]\ndriver = paradox\npath = nothing\n"
                                                  "[file]\ndriver = paradox\npath = LEKARI.DB\n");
    EXPECT_EQ(failureOf([&] { engine.openDatabase("nopath"); }), "The alias 'nopath' in " + dir.file("aliases.ini") +
                                                                     " has no 'path' entry naming the folder of the "
                                                                     "Paradox tables");
    EXPECT_EQ(failureOf([&] { engine.openDatabase("missing"); }),
              "Folder " + dir.file("nothing") + " of the Paradox tables does not exist (alias 'missing' in " +
                  dir.file("aliases.ini") + ")");
    EXPECT_EQ(failureOf([&] { engine.openDatabase("file"); }),
              dir.file("LEKARI.DB") + " is a file, not the folder of the Paradox tables (alias 'file' in " +
                  dir.file("aliases.ini") + ")");
}

TEST(ParadoxDriver, DeliversEachFieldTypeAsItsColumnTypeAndBlanksAsNull) {
    TempDir dir;
    {
        PxlibTable table(dir.file("Types.DB"),
                         {{"A", pxfAlpha, 10},
                          {"D", pxfDate, 4},
                          {"S", pxfShort, 2},
                          {"C", pxfCurrency, 8},
                          {"M", pxfMemoBLOb, 11},
                          {"L", pxfLogical, 1},
                          {"T", pxfTime, 4},
                          {"TS", pxfTimestamp, 8},
                          {"AI", pxfAutoInc, 4},
                          {"BCD", pxfBCD, 17, 2},
                          {"Y", pxfBytes, 2}},
                         "CP866");
        table.beginRecord();
        table.alpha(0, "Петров");
        table.date(1, 2024, 1, 31);
        table.shortInt(2, -7);
        table.number(3, 12.5);
        table.logical(5, true);
        table.time(6, (8 * 3600 + 30 * 60) * 1000);
        table.timestamp(7, 2024, 2, 29, (12 * 3600 + 1) * 1000 + 5);
        table.longInt(8, 42);
        table.bcd(9, "-3.25");
        table.bytes(10, "\x01\x02");
        table.appendRecord();
        table.beginRecord();
        table.appendRecord();
    }
    auto db = openFolder(dir);
    auto cursor = db->execute("select * from types", {});
    using engine::ColumnType;
    std::vector<std::pair<std::string, ColumnType>> columns;
    for (const auto& c : cursor->columns())
        columns.emplace_back(c.name, c.type);
    EXPECT_EQ(columns, (std::vector<std::pair<std::string, ColumnType>>{{"A", ColumnType::String},
                                                                        {"D", ColumnType::Date},
                                                                        {"S", ColumnType::Integer},
                                                                        {"C", ColumnType::Float},
                                                                        {"L", ColumnType::Boolean},
                                                                        {"T", ColumnType::Unknown},
                                                                        {"TS", ColumnType::Date},
                                                                        {"AI", ColumnType::Integer},
                                                                        {"BCD", ColumnType::Float},
                                                                        {"Y", ColumnType::Unknown}}));
    ASSERT_TRUE(cursor->next());
    EXPECT_EQ(cursor->text(0), "\xCF\xE5\xF2\xF0\xEE\xE2"); // CP866 in the file, windows-1251 delivered
    EXPECT_EQ(cursor->date(1), engine::dayNumberOf(2024, 1, 31));
    EXPECT_EQ(cursor->integer(2), -7);
    EXPECT_EQ(cursor->text(3), "12.5");
    EXPECT_TRUE(cursor->boolean(4));
    EXPECT_EQ(cursor->text(5), "08:30:00");
    EXPECT_EQ(cursor->text(6), "2024-02-29 12:00:01.005");
    EXPECT_EQ(cursor->date(6), engine::dayNumberOf(2024, 2, 29));
    EXPECT_EQ(cursor->integer(7), 42);
    EXPECT_EQ(cursor->text(8), "-3.25");
    EXPECT_EQ(cursor->text(9), "\x01\x02");
    ASSERT_TRUE(cursor->next());
    for (std::size_t c = 0; c < cursor->columns().size(); ++c) {
        EXPECT_TRUE(cursor->isBlank(c)) << cursor->columns()[c].name;
        EXPECT_EQ(cursor->text(c), "");
        EXPECT_FALSE(cursor->boolean(c));
    }
    EXPECT_FALSE(cursor->next());

    // A condition on values works as on SQLite's own tables.
    EXPECT_EQ(firstColumn(*db, "select ai from types where c > 12 and l = true and d = '2024-01-31'"),
              std::vector<std::string>{"42"});
}

TEST(ParadoxDriver, IndexedLookupGivesWhatAFullScanGivesAndFollowsTheFile) {
    TempDir dir;
    const std::string path = dir.file("Osigurenici.DB");
    writePersons(path, 3000, 40);
    auto db = openFolder(dir);

    const std::string listStatement = "select * from osigurenici where lekar_s = ? and br_odj is null";
    const auto plan = [&](const std::string& sql) {
        auto cursor = db->execute("explain query plan " + sql, {"D1"});
        std::string detail;
        while (cursor->next())
            detail += cursor->text(3);
        return detail;
    };
    EXPECT_NE(plan(listStatement).find("INDEX 2:"), std::string::npos) << plan(listStatement);
    EXPECT_NE(plan("select * from osigurenici where lekar_s || '' = ?").find("INDEX 0:"), std::string::npos);

    for (const char* doctor : {"D0", "D1", "D39"}) {
        const auto indexed = firstColumn(*db, listStatement, {doctor});
        EXPECT_EQ(indexed.size(), 75u) << doctor;
        EXPECT_EQ(indexed, firstColumn(*db, "select * from osigurenici where lekar_s || '' = ?", {doctor}));
    }
    EXPECT_TRUE(firstColumn(*db, listStatement, {"d1"}).empty());
    // Another collation cannot use the index of exact texts; SQLite compares row by row.
    EXPECT_EQ(firstColumn(*db, "select mb from osigurenici where lekar_s = ? collate nocase", {"d1"}).size(), 75u);

    // The file is rewritten with other data: the next statement reads the new file and builds a new index.
    writePersons(path, 100, 2);
    EXPECT_EQ(firstColumn(*db, listStatement, {"D1"}).size(), 50u);
    EXPECT_TRUE(firstColumn(*db, listStatement, {"D39"}).empty());

    // Rewritten with another field: the table is declared anew.
    writePersons(path, 10, 2, {{"EXTRA", pxfLong, 4}});
    EXPECT_EQ(db->execute("select * from osigurenici", {})->columns().back().name, "EXTRA");

    std::filesystem::remove(path);
    EXPECT_EQ(failureOf([&] { db->execute(listStatement, {"D1"}); }),
              "Table 'osigurenici' does not exist in the database " + dir.path());
}

// Protected tables through the driver. A password is asked for once for two tables that share it and once for
// each of two that do not, again after a wrong answer; one the alias gives is never asked for; a cancelled
// prompt lets the engine's error through; the alias's password is refused from a file others may read.
TEST(ParadoxDriver, OpensProtectedTablesWithTheAliasPasswordOrThePrompt) {
    std::vector<DoctorRow> doctors;
    std::vector<PersonRow> persons;
    makeRegister(doctors, persons);
    TempDir dir;
    for (const char* folder : {"plain", "shared", "two"})
        std::filesystem::create_directory(dir.file(folder));
    writeParadoxRegister(dir.file("plain"), doctors, persons);
    writeParadoxRegister(dir.file("shared"), doctors, persons, "CP1251", {"Lozinka7", "Lozinka7"});
    writeParadoxRegister(dir.file("two"), doctors, persons, "CP1251", {"prva", "vtora"});
    const std::string aliases = dir.file("aliases.ini");
    const auto expected = listsOf(aliases, paradoxAlias(dir.file("plain")));

    std::vector<std::string> asked;
    const auto answering = [&](std::vector<std::optional<std::string>> answers) {
        return [&asked, answers](const std::string& name) mutable -> std::optional<std::string> {
            asked.push_back(std::filesystem::path(name).filename().string());
            if (answers.empty())
                return std::nullopt;
            std::optional<std::string> answer = answers.front();
            answers.erase(answers.begin());
            return answer;
        };
    };
    EXPECT_EQ(listsOf(aliases, paradoxAlias(dir.file("shared")), answering({"Lozinka7"})), expected);
    EXPECT_EQ(asked, std::vector<std::string>{"Lekari.DB"});
    asked.clear();
    EXPECT_EQ(listsOf(aliases, paradoxAlias(dir.file("two")), answering({"vtora", "prva", "vtora"})), expected);
    EXPECT_EQ(asked, (std::vector<std::string>{"Lekari.DB", "Lekari.DB", "Osigurenici.DB"}));
    asked.clear();
    EXPECT_EQ(listsOf(aliases, paradoxAlias(dir.file("shared")) + "password = Lozinka7\n", answering({})), expected);
    EXPECT_TRUE(asked.empty());

    EXPECT_EQ(failureOf<engine::EngineError>([&] { listsOf(aliases, paradoxAlias(dir.file("two")), answering({})); }),
              dir.file("two/Lekari.DB") + ": the table is protected by a password, and none was given");
    EXPECT_EQ(failureOf<engine::EngineError>([&] {
                  listsOf(aliases, paradoxAlias(dir.file("two")), answering({"prva", "nope"}));
              }),
              dir.file("two/Osigurenici.DB") + ": the password given is not the table's password");

    const std::string contents = paradoxAlias(dir.file("shared")) + "password = Lozinka7\n";
    AliasFileScope scope(aliases, contents);
    std::filesystem::permissions(aliases, std::filesystem::perms::group_read, std::filesystem::perm_options::add);
    EXPECT_EQ(failureOf<engine::EngineError>([&] { engine::Engine().openDatabase("kapitacija"); }),
              "The alias file " + aliases +
                  " gives a password for alias 'kapitacija' but other users may read it, so the password is not "
                  "used: make the file readable by its owner alone (chmod 600 " +
                  aliases + "), or remove its 'password' entry");
}

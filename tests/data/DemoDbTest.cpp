// Runs the demo database generator (the path in PELMAROT_DEMO_DB_EXE, set by ctest) and reads what it wrote with
// SQLite directly, as the engine would find it.

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Row = std::vector<std::optional<std::string>>;

class Database {
public:
    explicit Database(const fs::path& file) {
        if (sqlite3_open_v2(file.c_str(), &connection_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
            ADD_FAILURE() << "cannot open " << file << ": " << sqlite3_errmsg(connection_);
    }
    ~Database() { sqlite3_close(connection_); }

    std::vector<Row> rows(const std::string& sql) const {
        std::vector<Row> result;
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(connection_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
            ADD_FAILURE() << sql << ": " << sqlite3_errmsg(connection_);
            return result;
        }
        while (sqlite3_step(statement) == SQLITE_ROW) {
            Row& row = result.emplace_back();
            for (int column = 0; column < sqlite3_column_count(statement); ++column) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
                row.push_back(text ? std::optional<std::string>(text) : std::nullopt);
            }
        }
        sqlite3_finalize(statement);
        return result;
    }

    long long number(const std::string& sql) const { return std::stoll(rows(sql).at(0).at(0).value()); }

private:
    sqlite3* connection_ = nullptr;
};

bool allDigits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// A name in MAC C: a capital letter followed by small ones, so that it shows as a capitalised Cyrillic name.
bool isMacCName(const std::string& name) {
    return !name.empty() && std::string("ABCDEFGHIJKLMNOPQRSTUVWXYZ@[\\]^").find(name[0]) != std::string::npos &&
           name.find_first_not_of("abcdefghijklmnopqrstuvwxyz`{|}~", 1) == std::string::npos;
}

// The birth date of an EMBG as YYYY-MM-DD when the number is well formed (DDMMYYY, region, serial and a
// correct check digit), else nothing.
std::optional<std::string> birthDateOfIdentityNumber(const std::string& mb) {
    if (mb.size() != 13 || !allDigits(mb))
        return std::nullopt;
    static const int weights[12] = {7, 6, 5, 4, 3, 2, 7, 6, 5, 4, 3, 2};
    int sum = 0;
    for (int i = 0; i < 12; ++i)
        sum += weights[i] * (mb[i] - '0');
    const int check = (11 - sum % 11) % 11;
    const int day = std::stoi(mb.substr(0, 2)), month = std::stoi(mb.substr(2, 2));
    const int yearDigits = std::stoi(mb.substr(4, 3));
    const int year = yearDigits >= 900 ? 1000 + yearDigits : 2000 + yearDigits;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int monthDays[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (check == 10 || mb[12] - '0' != check || month < 1 || month > 12 || day < 1 || day > monthDays[month - 1])
        return std::nullopt;
    char iso[32];
    std::snprintf(iso, sizeof iso, "%04d-%02d-%02d", year, month, day);
    return iso;
}

class DemoDbTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* generator = std::getenv("PELMAROT_DEMO_DB_EXE");
        if (generator == nullptr)
            GTEST_SKIP()
                << "PELMAROT_DEMO_DB_EXE does not name the demo database generator; run the tests through ctest";
        generator_ = generator;
        std::string pattern = (fs::temp_directory_path() / "pelmarot-demo-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }
    void TearDown() override {
        if (!folder_.empty())
            fs::remove_all(folder_);
    }

    // Runs the generator and returns its exit code; its output goes to output_.
    int generate(const std::string& arguments) {
        FILE* pipe = popen(("'" + generator_ + "' " + arguments + " 2>&1").c_str(), "r");
        output_.clear();
        char buffer[256];
        while (pipe != nullptr && std::fgets(buffer, sizeof buffer, pipe) != nullptr)
            output_ += buffer;
        const int status = pipe != nullptr ? pclose(pipe) : -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string file(const std::string& name) const { return "'" + (folder_ / name).string() + "'"; }

    std::string bytes(const std::string& name) const {
        std::ifstream in(folder_ / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    std::string generator_;
    fs::path folder_;
    std::string output_;
};

TEST_F(DemoDbTest, WritesTheTablesAndIndexTheEngineExpects) {
    ASSERT_EQ(generate("--doctors 40 --persons 3000 --seed 7 " + file("demo.sqlite")), 0) << output_;
    EXPECT_EQ(std::count(output_.begin(), output_.end(), '\n'), 1) << output_;
    const Database db(folder_ / "demo.sqlite");

    const std::vector<std::pair<std::string, std::vector<std::string>>> tables = {
        {"Lekari", {"LEKAR_S TEXT(6)", "PRE TEXT", "IME TEXT", "OPS_S TEXT(3)", "AKTIVEN BOOLEAN"}},
        {"Osigurenici",
         {"MB TEXT(13)", "PRE TEXT(20)", "TIME TEXT(15)", "IME TEXT(15)", "LEKAR_S TEXT(6)", "BR_PRI TEXT(8)",
          "UCEN_30 BOOLEAN", "UCEN_70 BOOLEAN", "DATA_PRI DATE", "BR_ODJ TEXT"}},
    };
    for (const auto& [table, expected] : tables) {
        std::vector<std::string> columns;
        for (const Row& row : db.rows("SELECT name || ' ' || type FROM pragma_table_info('" + table + "')"))
            columns.push_back(*row[0]);
        EXPECT_EQ(columns, expected) << table;
    }
    EXPECT_EQ(db.number("SELECT count(*) FROM pragma_index_list('Osigurenici') AS l, pragma_index_info(l.name) AS i "
                        "WHERE i.name = 'LEKAR_S'"),
              1);

    EXPECT_EQ(db.number("SELECT count(*) FROM Lekari"), 40);
    EXPECT_EQ(db.number("SELECT count(DISTINCT LEKAR_S) FROM Lekari"), 40);
    EXPECT_EQ(db.number("SELECT count(*) FROM Osigurenici"), 3000);
    EXPECT_EQ(db.number("SELECT count(DISTINCT MB) FROM Osigurenici"), 3000);
    EXPECT_EQ(db.number("SELECT count(*) FROM Osigurenici WHERE LEKAR_S NOT IN (SELECT LEKAR_S FROM Lekari)"), 0);

    // The cases the program has to show: every rate, missing dates, deregistered persons, inactive doctors,
    // an active doctor whose list is empty, and doctors with very different numbers of persons.
    EXPECT_EQ(db.number("SELECT count(DISTINCT UCEN_30 * 2 + UCEN_70) FROM Osigurenici "
                        "WHERE UCEN_30 IN (0, 1) AND UCEN_70 IN (0, 1)"),
              4);
    EXPECT_GT(db.number("SELECT count(*) FROM Osigurenici WHERE DATA_PRI IS NULL"), 30);
    EXPECT_GT(db.number("SELECT count(*) FROM Osigurenici WHERE BR_ODJ IS NOT NULL"), 60);
    EXPECT_EQ(db.number("SELECT count(*) FROM Osigurenici WHERE BR_ODJ GLOB '*[^0-9]*' OR BR_ODJ = ''"), 0);
    EXPECT_EQ(db.number("SELECT count(*) FROM Osigurenici WHERE date(DATA_PRI) IS NOT DATA_PRI "
                        "OR DATA_PRI NOT BETWEEN '1995-01-01' AND '2026-12-31'"),
              0);
    EXPECT_EQ(db.number("SELECT count(*) FROM Lekari WHERE AKTIVEN NOT IN (0, 1)"), 0);
    EXPECT_GT(db.number("SELECT count(*) FROM Lekari WHERE AKTIVEN = 0"), 0);
    EXPECT_GT(db.number("SELECT count(*) FROM Lekari WHERE AKTIVEN = 1 AND LEKAR_S NOT IN "
                        "(SELECT LEKAR_S FROM Osigurenici)"),
              0);
    EXPECT_GT(db.number("SELECT max(n) FROM (SELECT count(*) AS n FROM Osigurenici GROUP BY LEKAR_S)"),
              3 * db.number("SELECT avg(n) FROM (SELECT count(*) AS n FROM Osigurenici GROUP BY LEKAR_S)"));
    EXPECT_GT(db.number("SELECT count(*) FROM Osigurenici WHERE PRE = '' OR TIME = '' OR IME = ''"), 0);
}

TEST_F(DemoDbTest, StoresWellFormedValuesInMacCWithinTheFieldSizes) {
    ASSERT_EQ(generate("--doctors 30 --persons 3000 --seed 11 " + file("demo.sqlite")), 0) << output_;
    const Database db(folder_ / "demo.sqlite");

    for (const Row& doctor : db.rows("SELECT LEKAR_S, PRE, IME, OPS_S FROM Lekari")) {
        ASSERT_TRUE(doctor[0] && doctor[1] && doctor[2] && doctor[3]);
        EXPECT_TRUE(!doctor[0]->empty() && doctor[0]->size() <= 6 &&
                    doctor[0]->find_first_not_of("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ") == std::string::npos)
            << *doctor[0];
        EXPECT_TRUE(isMacCName(*doctor[1]) && isMacCName(*doctor[2])) << *doctor[1] << ' ' << *doctor[2];
        EXPECT_LE(doctor[1]->size() + 1 + doctor[2]->size(), 36u);
        EXPECT_EQ(doctor[3]->size(), 3u);
    }
    for (const Row& person : db.rows("SELECT MB, PRE, TIME, IME, BR_PRI, DATA_PRI FROM Osigurenici")) {
        ASSERT_TRUE(person[0] && person[1] && person[2] && person[3] && person[4]);
        const std::string &mb = *person[0], &surname = *person[1];
        const std::optional<std::string> birth = birthDateOfIdentityNumber(mb);
        ASSERT_TRUE(birth) << mb;
        if (person[5]) {
            EXPECT_LE(*birth, *person[5]) << mb << " registered before birth";
        }
        // Serial numbers from 500 are women's, and a woman's surname takes the feminine ending.
        if (!surname.empty()) {
            EXPECT_EQ(std::stoi(mb.substr(9, 3)) >= 500, surname.back() == 'a') << mb << ' ' << surname;
        }
        const std::pair<std::size_t, std::size_t> nameFields[] = {{1, 20}, {2, 15}, {3, 15}};
        for (const auto& [column, size] : nameFields)
            EXPECT_TRUE(person[column]->empty() || (isMacCName(*person[column]) && person[column]->size() <= size))
                << mb << ": " << *person[column];
        EXPECT_TRUE(allDigits(*person[4]) && person[4]->size() <= 8) << *person[4];
    }
}

TEST_F(DemoDbTest, SameSeedGivesTheSameFileAndAnotherSeedAnother) {
    ASSERT_EQ(generate("--doctors 12 --persons 500 --seed 5 " + file("a.sqlite")), 0) << output_;
    ASSERT_EQ(generate("--doctors 12 --persons 500 --seed 5 " + file("b.sqlite")), 0) << output_;
    ASSERT_EQ(generate("--doctors 12 --persons 500 --seed 6 " + file("c.sqlite")), 0) << output_;
    EXPECT_FALSE(bytes("a.sqlite").empty());
    EXPECT_TRUE(bytes("a.sqlite") == bytes("b.sqlite"));
    EXPECT_FALSE(bytes("a.sqlite") == bytes("c.sqlite"));
}

TEST_F(DemoDbTest, ReplacesAnExistingFileOnlyWhenForced) {
    std::ofstream(folder_ / "demo.sqlite") << "keep me";
    EXPECT_NE(generate("--persons 100 " + file("demo.sqlite")), 0);
    EXPECT_NE(output_.find("already exists"), std::string::npos) << output_;
    EXPECT_EQ(bytes("demo.sqlite"), "keep me");

    ASSERT_EQ(generate("--force --persons 100 " + file("demo.sqlite")), 0) << output_;
    EXPECT_EQ(Database(folder_ / "demo.sqlite").number("SELECT count(*) FROM Osigurenici"), 100);
    EXPECT_FALSE(fs::exists(folder_ / "demo.sqlite.tmp"));
}

TEST_F(DemoDbTest, BadUsageExitsWithTwoAndWritesNothing) {
    const std::string out = file("demo.sqlite");
    const std::string commandLines[] = {
        "",
        "--persons 10",
        out + " " + file("other.sqlite"),
        "--colour red " + out,
        "--persons ten " + out,
        "--persons -5 " + out,
        "--doctors 0 " + out,
        "--seed 12x " + out,
        out + " --doctors",
    };
    for (const std::string& arguments : commandLines) {
        EXPECT_EQ(generate(arguments), 2) << arguments << '\n' << output_;
        EXPECT_NE(output_.find("Try 'pelmarot-demo-db --help' for more information."), std::string::npos) << arguments;
    }
    EXPECT_TRUE(fs::is_empty(folder_));
}

} // namespace

// The engine: alias file, SQL dialect, dates, code pages and the SQLite backend's failures.
#include "engine/Engine.h"
#include "engine/AliasFile.h"
#include "engine/CodePage.h"
#include "engine/Date.h"
#include "engine/EngineError.h"
#include "engine/ParadoxFixtures.h"
#include "engine/SqlDialect.h"
#include "support/Failures.h"
#include "support/FixtureRegister.h"

#include <clocale>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>

using namespace testsupport;

namespace {

class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

} // namespace

TEST(AliasFile, ParsesSectionsEntriesAndCommentsWithoutRegardToCase) {
    TempDir dir;
    std::ofstream(dir.file("aliases.ini")) << "; the register\n"
                                              "[Kapitacija]\n"
                                              "Driver = SQLite              ; sqlite | paradox\n"
                                              "path = data/k.sqlite\n"
                                              "codepage = windows-1251 # comment\n"
                                              "\n[other]\ndriver=paradox\npath=/abs/folder\n";
    const auto file = engine::AliasFile::load(dir.file("aliases.ini"));
    const auto alias = file.alias("KAPITACIJA");
    EXPECT_EQ(alias.driver, "sqlite");
    EXPECT_EQ(alias.entry("codepage"), "windows-1251");
    EXPECT_EQ(alias.resolvedPath(), dir.path() + "/data/k.sqlite");
    EXPECT_EQ(file.alias("other").resolvedPath(), "/abs/folder");
    EXPECT_EQ(failureOf<engine::EngineError>([&] { file.alias("missing"); }),
              "Alias 'missing' is not defined in the alias file " + dir.file("aliases.ini"));

    std::ofstream(dir.file("bad.ini")) << "[a]\ndriver = sqlite\nthis line has no equals sign\n";
    EXPECT_EQ(failureOf<engine::EngineError>([&] { engine::AliasFile::load(dir.file("bad.ini")); }),
              dir.file("bad.ini") + ", line 3: expected 'key = value'");
}

TEST(AliasFile, SearchOrderAndMessagesNamingEveryPlaceLookedIn) {
    TempDir dir;
    {
        ScopedEnv explicitFile("PELMAROT_ALIASES", dir.file("none.ini").c_str());
        EXPECT_EQ(engine::AliasFile::searchPath(), std::vector<std::string>{dir.file("none.ini")});
        EXPECT_EQ(failureOf<engine::EngineError>([] { engine::AliasFile::locate(); }),
                  "Alias file " + dir.file("none.ini") + " (named by PELMAROT_ALIASES) does not exist");
    }
    ScopedEnv noExplicit("PELMAROT_ALIASES", nullptr);
    ScopedEnv config("XDG_CONFIG_HOME", dir.path().c_str());
    const auto path = engine::AliasFile::searchPath();
    ASSERT_EQ(path.size(), 2u);
    EXPECT_EQ(path[0], dir.path() + "/pelmarot/aliases.ini");
    EXPECT_EQ(path[1], "/etc/pelmarot/aliases.ini");
    if (!std::filesystem::exists("/etc/pelmarot/aliases.ini")) {
        EXPECT_EQ(failureOf<engine::EngineError>([] { engine::AliasFile::locate(); }),
                  "No alias file found; looked for " + path[0] + ", " + path[1]);
    }
    std::filesystem::create_directories(dir.path() + "/pelmarot");
    std::ofstream(path[0]) << "[kapitacija]\ndriver=sqlite\npath=x.sqlite\n";
    EXPECT_EQ(engine::AliasFile::locate().alias("kapitacija").resolvedPath(), dir.path() + "/pelmarot/x.sqlite");
}

TEST(SqlDialect, ParametersBecomePositionalAndPlusJoinsStringsOnlyNextToText) {
    const auto statement =
        engine::toPositionalParameters("select * from t where a = :lekar and b = ':not' and c = :Lekar::text");
    EXPECT_EQ(statement.sql, "select * from t where a = ? and b = ':not' and c = ?::text");
    EXPECT_EQ(statement.parameterNames, (std::vector<std::string>{"lekar", "Lekar"}));
    EXPECT_EQ(engine::toPositionalParameters("where a=:p1.x and b = :9 and c = \"q:r\"").sql,
              "where a=?.x and b = :9 and c = \"q:r\"");
    EXPECT_EQ(engine::toNumberedParameters("a = ? and b = '?' and c = \"it\"\"?\" and d = ?"),
              "a = $1 and b = '?' and c = \"it\"\"?\" and d = $2");

    const std::pair<const char*, const char*> cases[] = {
        {"select lekar_s,pre+' '+ime as ime,ops_s from Lekari\r\nwhere aktiven=true\r\n\r\n",
         "select lekar_s,pre||' '||ime as ime,ops_s from Lekari\r\nwhere aktiven=true\r\n\r\n"},
        {"select a + b from t", "select a + b from t"},
        {"select a + b + 'x' from t", "select a || b || 'x' from t"},
        {"select 'a+b' + c, d+1 from t", "select 'a+b' || c, d+1 from t"},
        {"select \"x\"+'it''s' from t", "select \"x\"||'it''s' from t"},
    };
    for (const auto& [given, expected] : cases)
        EXPECT_EQ(engine::toStandardSql(given), expected) << given;
}

TEST(Dates, DayNumbersCountFromTheFirstOfJanuaryOfYearOne) {
    EXPECT_EQ(engine::dayNumberOf(1, 1, 1), 1);
    EXPECT_EQ(engine::dayNumberOf(1899, 12, 30), engine::kDayZeroOfDateCount);
    EXPECT_EQ(engine::dayNumberOf(1899, 12, 30), 693594);
    EXPECT_EQ(engine::weekdayOf(engine::dayNumberOf(2026, 12, 8)), 2); // a Tuesday
    for (const auto day : {1, 59, 60, 693594, 730119, 3652059}) {
        const auto civil = engine::civilDateOf(day);
        EXPECT_EQ(engine::dayNumberOf(civil.year, civil.month, civil.day), day);
    }
    EXPECT_EQ(engine::parseIsoDate("2000-02-29"), engine::dayNumberOf(2000, 2, 29));
    for (const char* bad : {"1900-02-29", "2020-13-01", "2020-1-01", "", "0000-01-01", "abcd-ef-gh"})
        EXPECT_FALSE(engine::parseIsoDate(bad).has_value()) << bad;
}

TEST(CodePages, ConvertExactlyOrTransliterateAndSaySo) {
    const auto& cp1251 = engine::CodePage::named("windows-1251");
    EXPECT_EQ(cp1251.toUtf8("\xCF\xE5\xF2"), "Пет");
    struct Case {
        const char* utf8;
        const char* expected;
        bool exact;
    };
    // Expected bytes are windows-1251 as its published table gives them; transliterations as glibc's
    // C.UTF-8 tables give them, whatever the user's own locale.
    for (const Case& c : std::initializer_list<Case>{
             {"Петров ж", "\xCF\xE5\xF2\xF0\xEE\xE2 \xE6", true},
             {"“q” €", "\x93q\x94 \x88", true},
             {"Hoxhë Çlirim", "Hoxhe Clirim", false}, // Albanian letters that windows-1251 lacks
             {"Straße", "Strase", false},             // one character for one: the first letter of "ss"
             {"Œuvre", "Ouvre", false},
             {"½€", "?\x88", false}, // " 1/2" starts with no letter
             {"中1", "?1", false},   // nothing to transliterate to
             {"Ωx", "?x", false},
             {"a\xC3", "a?", false},       // cut-off UTF-8 sequence
             {"\xC0\xAF..", "?..", false}, // over-long "/" is never a "/"
         }) {
        bool exact = true;
        EXPECT_EQ(cp1251.fromUtf8(c.utf8, &exact), c.expected) << c.utf8;
        EXPECT_EQ(exact, c.exact) << c.utf8;
    }
    const auto& cp1252 = engine::CodePage::named("1252");
    bool exact = true;
    EXPECT_EQ(cp1251.fromCodePage(cp1252, "caf\xE9", &exact), "cafe");
    EXPECT_FALSE(exact);
    EXPECT_EQ(failureOf<engine::EngineError>([] { engine::CodePage::named("no-such-page"); }),
              "Code page 'no-such-page' is not supported");
    for (const char* notSingleByte : {"utf-8", "UTF-16", "ascii", "UTF-32", "EUC-JP", "SHIFT_JIS", "IBM037", "UTF-7"})
        EXPECT_EQ(failureOf<engine::EngineError>([&] { engine::CodePage::named(notSingleByte); }),
                  std::string("Code page '") + notSingleByte +
                      "' is not an 8-bit single-byte code page that keeps ASCII")
            << notSingleByte;
    for (const char* fine : {"cp866", "ISO-8859-5", "windows-1250", "KOI8-R", "1251"})
        EXPECT_NO_THROW(engine::CodePage::named(fine)) << fine;
}

TEST(CodePages, NamesAndAliasKeysFoldAsAsciiUnderATurkishLocale) {
    // Folded through a Turkish 8-bit locale, "I" becomes a dotless i that no code page's name holds.
    struct LocaleScope {
        std::string previous = std::setlocale(LC_ALL, nullptr);
        ~LocaleScope() { std::setlocale(LC_ALL, previous.c_str()); }
    } scope;
    ASSERT_NE(std::setlocale(LC_ALL, "tr_TR.ISO-8859-9"), nullptr)
        << "the locale tr_TR.ISO-8859-9 is missing; scripts/install-deps.sh test generates it";
    TempDir dir;
    writeSqliteRegister(dir.file("k.sqlite"), {{"1", "Petrov", "Ilija"}}, {});
    AliasFileScope aliases(dir.file("aliases.ini"),
                           "[KAPITACIJA]\nDRIVER = SQLITE\nPATH = k.sqlite\nCODEPAGE = WINDOWS-1251\n");
    for (const char* name : {"KOI8-U", "WINDOWS-1250", "CP1251", "ISO-8859-9"})
        EXPECT_NO_THROW(engine::CodePage::named(name)) << name;
    EXPECT_NO_THROW(engine::Engine().openDatabase("kapitacija"));
}

TEST(AliasFile, BadCodePageByteOrderMarkAndNonFilesAreNamed) {
    TempDir dir;
    const auto aliasFile = dir.file("aliases.ini");
    writeSqliteRegister(dir.file("k.sqlite"), {{"1", "Petrov", "Ilija"}}, {});
    // A byte-order mark before the first section, as editors on other systems write it.
    AliasFileScope scope(aliasFile, "\xEF\xBB\xBF[kapitacija]\ndriver = sqlite\npath = k.sqlite\n"
                                    "[utf8]\ndriver = sqlite\npath = k.sqlite\ncodepage = utf-8\n"
                                    "[fifo]\ndriver = sqlite\npath = pipe.sqlite\n");
    engine::Engine engine;
    EXPECT_NO_THROW(engine.openDatabase("kapitacija"));
    EXPECT_EQ(failureOf<engine::EngineError>([&] { engine.openDatabase("utf8"); }),
              "Alias 'utf8' in " + aliasFile +
                  ": codepage = utf-8: Code page 'utf-8' is not an 8-bit single-byte code page that keeps ASCII");
    ASSERT_EQ(mkfifo(dir.file("pipe.sqlite").c_str(), 0600), 0);
    EXPECT_EQ(failureOf<engine::EngineError>([&] { engine.openDatabase("fifo"); }),
              "Database file " + dir.file("pipe.sqlite") +
                  " is a FIFO (named pipe), not an SQLite file (alias 'fifo' in " + aliasFile + ")");
    // An alias path that is a folder or a FIFO would read as an empty file, or block for ever.
    std::filesystem::create_directory(dir.file("folder.ini"));
    EXPECT_EQ(failureOf<engine::EngineError>([&] { engine::AliasFile::load(dir.file("folder.ini")); }),
              "The alias file " + dir.file("folder.ini") + " is a folder, not a file of aliases");
    ASSERT_EQ(mkfifo(dir.file("pipe.ini").c_str(), 0600), 0);
    EXPECT_EQ(failureOf<engine::EngineError>([&] { engine::AliasFile::load(dir.file("pipe.ini")); }),
              "The alias file " + dir.file("pipe.ini") + " is a FIFO (named pipe), not a file of aliases");
}

TEST(SqliteBackend, ConnectFailuresNameWhatIsMissingAndWhere) {
    TempDir dir;
    engine::Engine engine;
    const auto aliasFile = dir.file("aliases.ini");
    AliasFileScope scope(aliasFile, "[bad]\ndriver = dbase\npath = x\n"
                                    "[missing]\ndriver = sqlite\npath = nothing.sqlite\n"
                                    "[nopath]\ndriver = sqlite\n"
                                    "[notsqlite]\ndriver = sqlite\npath = text.sqlite\n"
                                    "[folder]\ndriver = sqlite\npath = .\n");
    std::ofstream(dir.file("text.sqlite")) << "this is not a database, just some text that is long enough";
    EXPECT_EQ(failureOf<engine::EngineError>([&] { engine.openDatabase("bad"); }),
              "Unknown driver 'dbase' for alias 'bad' in " + aliasFile +
                  " (known drivers: paradox, postgresql, sqlite)");
    EXPECT_EQ(failureOf<engine::EngineError>([&] { engine.openDatabase("missing"); }),
              "Database file " + dir.file("nothing.sqlite") + " does not exist (alias 'missing' in " + aliasFile + ")");
    EXPECT_EQ(failureOf<engine::EngineError>([&] { engine.openDatabase("nopath"); }),
              "The alias 'nopath' in " + aliasFile + " has no 'path' entry naming the database file");
    EXPECT_EQ(failureOf<engine::EngineError>([&] { engine.openDatabase("notsqlite"); }),
              "Cannot open the database file " + dir.file("text.sqlite") + "\nThe file is not an SQLite database");
    EXPECT_NE(failureOf<engine::EngineError>([&] { engine.openDatabase("folder"); }).find("is a folder"),
              std::string::npos);
    EXPECT_EQ(failureOf<engine::EngineError>([&] { engine.openDatabase("nosuchalias"); }),
              "Alias 'nosuchalias' is not defined in the alias file " + aliasFile);
}

TEST(SqliteBackend, ReadsOnlyAndDeliversTextInTheCodePage) {
    TempDir dir;
    writeSqliteRegister(dir.file("k.sqlite"), {{"1", "Петров", "Ilija"}}, {});
    AliasFileScope scope(dir.file("aliases.ini"), AliasFileScope::sqliteAlias(dir.file("k.sqlite")));
    engine::Engine engine;
    auto db = engine.openDatabase("kapitacija");

    auto cursor = db->execute("select pre+' '+ime as ime, aktiven, lekar_s from lekari where lekar_s = ?", {"1"});
    ASSERT_TRUE(cursor->next());
    EXPECT_EQ(cursor->text(0), "\xCF\xE5\xF2\xF0\xEE\xE2 Ilija");
    EXPECT_TRUE(cursor->boolean(1));
    EXPECT_EQ(cursor->columns()[1].type, engine::ColumnType::Boolean);
    EXPECT_FALSE(cursor->next());

    // Parameters travel in the code page too: a 1251 parameter finds UTF-8 text.
    auto byName = db->execute("select lekar_s from lekari where pre = ?", {"\xCF\xE5\xF2\xF0\xEE\xE2"});
    EXPECT_TRUE(byName->next());

    EXPECT_EQ(failureOf<engine::EngineError>([&] { db->execute("delete from Lekari", {}); }),
              "The statement would change the database " + dir.file("k.sqlite") + ", which this program only reads");
    EXPECT_EQ(failureOf<engine::EngineError>([&] { db->execute("select * from Nowhere", {}); }),
              "Table 'Nowhere' does not exist in the database " + dir.file("k.sqlite"));
    // Nothing was deleted.
    auto count = db->execute("select count(*) from Lekari", {});
    ASSERT_TRUE(count->next());
    EXPECT_EQ(count->integer(0), 1);
}

TEST(ParadoxBackend, ATableThatIsAFolderOrAFifoIsCalledWhatItIs) {
    TempDir dir;
    std::filesystem::create_directories(dir.file("px"));
    writeParadoxRegister(dir.file("px"), {{"A1", "Petrovski", "Ilija"}}, {});
    AliasFileScope scope(dir.file("aliases.ini"), paradoxAlias(dir.file("px")));
    engine::Engine engine;
    auto db = engine.openDatabase("kapitacija");
    std::filesystem::remove(dir.file("px/Osigurenici.DB"));
    std::filesystem::create_directory(dir.file("px/Osigurenici.DB"));
    EXPECT_EQ(failureOf<engine::EngineError>([&] { db->execute("select * from osigurenici", {}); }),
              "Table 'osigurenici': " + dir.file("px/Osigurenici.DB") + " is a folder, not a Paradox table");
    std::filesystem::remove(dir.file("px/Osigurenici.DB"));
    ASSERT_EQ(mkfifo(dir.file("px/Osigurenici.DB").c_str(), 0600), 0);
    EXPECT_EQ(failureOf<engine::EngineError>([&] { db->execute("select * from osigurenici", {}); }),
              "Table 'osigurenici': " + dir.file("px/Osigurenici.DB") + " is a FIFO (named pipe), not a Paradox table");
}

// A connection URI named on the command line is never echoed with its password, whether libpq can read it or not.
TEST(DirectRegister, MessagesAboutAConnectionUriNeverShowItsPassword) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"postgresql://127.0.0.1/kapitacija?password=Tajna-9",
         "The connection URI postgresql://127.0.0.1/kapitacija?password=... holds a password: give it in ~/.pgpass or "
         "PGPASSWORD instead, where other users cannot see it"},
        {"postgresql://clerk:Tajna-9@db/kapitacija?sslmode=disable&password=Tajna-9",
         "The connection URI postgresql://...@db/kapitacija?sslmode=disable&password=... holds a password: give it in "
         "~/.pgpass or PGPASSWORD instead, where other users cannot see it"},
        {"postgresql://clerk:Tajna-9@[::1/kapitacija",
         "Cannot read the connection URI postgresql://...@[::1/kapitacija: end of string reached when looking for "
         "matching \"]\" in IPv6 host address in URI: \"postgresql://...@[::1/kapitacija\""},
        {"postgresql://h/k?password=Tajna%zz9", ""},
    };
    for (const auto& [uri, message] : cases) {
        const std::string failure = failureOf<engine::EngineError>([&] { engine::Engine().aliasDefinition(uri); });
        if (!message.empty()) {
            EXPECT_EQ(failure, message);
        }
        EXPECT_EQ(failure.find("Tajna"), std::string::npos) << failure;
        EXPECT_FALSE(failure.empty()) << uri;
    }
}

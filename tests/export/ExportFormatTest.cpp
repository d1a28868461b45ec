#include "export/ExportFormat.h"
#include "export/DoctorExport.h"
#include "export/Dodaj.h"

#include "export/ExportTestRegister.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

using exporttest::namesIn;
using exporttest::OpenRegister;
using testsupport::PersonRow;

// The title line, counted out column by column: 10, 15, 20, 20, 20, 12, 12 and 9 characters.
const std::string kTitleLine = "  FAKSIMIL"
                               "           EMBG"
                               "                 IME"
                               "                TIME"
                               "                 PRE"
                               "   DATUM PR."
                               "    BROJ PR."
                               "  PROCENT"
                               "\r\n";
const std::string kHead = kTitleLine + " \r\n";

// Exports the persons of `code` into a fresh folder and returns the file's bytes; the folder must then hold
// that one file and nothing else.
std::string exportedFile(const std::vector<PersonRow>& persons, const std::string& code,
                         const data::RegionalSettings& settings = data::RegionalSettings::defaults()) {
    OpenRegister reg(persons);
    reg.list().reload(code);
    testsupport::TempDir out;
    exportfile::exportDoctorFile(out.path(), code, reg.list(), settings);
    EXPECT_EQ(namesIn(out.path()), std::set<std::string>{code + ".txt"});
    return testsupport::readFile(out.file(code + ".txt"));
}

TEST(Dodaj, RightAlignsWithoutEverCutting) {
    struct Case {
        int width;
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {6, "A1", "    A1"}, {4, "ABCD", "ABCD"}, {3, "ABCDE", "ABCDE"},       {5, "", "     "},      {0, "AB", "AB"},
        {-3, "AB", "AB"},    {0, "", ""},         {2, "\xe8\x81", "\xe8\x81"}, {3, "\x8a", "  \x8a"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(exportfile::Dodaj(c.width, c.text), c.expected) << "width " << c.width << ", text " << c.text;
        std::string appended = "x";
        exportfile::appendDodaj(appended, c.width, c.text);
        EXPECT_EQ(appended, "x" + c.expected);
    }
}

TEST(ExportFormat, TitleLineHoldsTheEightTitlesInTheirColumns) { EXPECT_EQ(exportfile::titleLine(), kTitleLine); }

TEST(ExportFormat, FullWidthEmptyAndOverLongValuesByteForByte) {
    const std::vector<PersonRow> persons = {
        {"1234567890123", "Dimitrovska-Jovanova", "Konstantinovski", "Hristijan Marko", "DR0001", "12345678", false,
         true, "2023-03-05", std::nullopt},
        {"", "", "", "", "DR0001", "", true, false, std::nullopt, std::nullopt},
        {"0101990450001", "Dimitrovska-Jovanovska", "Boris", "Ana", "DR0001", "7", false, false, "1999-12-31",
         std::nullopt},
        // Another doctor's person and a deregistered one never reach the file.
        {"9999999999999", "Drug", "Drug", "Drug", "DR0002", "1", false, false, "2020-01-01", std::nullopt},
        {"8888888888888", "Odjaven", "Odjaven", "Odjaven", "DR0001", "2", false, false, "2020-01-01", "15"},
    };
    const std::string expected = kHead +
                                 // Every value as long as the list allows; the surname fills its column.
                                 "    DR0001"
                                 "  1234567890123"
                                 "     Hristijan Marko"
                                 "     Konstantinovski"
                                 "Dimitrovska-Jovanova"
                                 "      3/5/23"
                                 "    12345678"
                                 "       70"
                                 "\r\n"
                                 // Empty strings give blank columns; the empty date is 30 December 1899.
                                 "    DR0001"
                                 "               "
                                 "                    "
                                 "                    "
                                 "                    "
                                 "    12/30/99"
                                 "            "
                                 "       30"
                                 "\r\n"
                                 // A 22-character surname pushes every later column two places right.
                                 "    DR0001"
                                 "  0101990450001"
                                 "                 Ana"
                                 "               Boris"
                                 "Dimitrovska-Jovanovska"
                                 "    12/31/99"
                                 "           7"
                                 "      100"
                                 "\r\n";
    EXPECT_EQ(exportedFile(persons, "DR0001"), expected);
}

TEST(ExportFormat, DateColumnFollowsThePatternOfTheSettings) {
    struct Case {
        std::string pattern;
        char separator;
        std::string emptyDateColumn;
        std::string dateColumn;
    };
    // The last pattern gives 15 characters: nothing is cut, the later columns move right.
    const Case cases[] = {
        {"m/d/yy", '/', "    12/30/99", "      3/5/23"},
        {"dd.mm.yyyy", '/', "  30.12.1899", "  05.03.2023"},
        {"dd/mm/yyyy", '.', "  30.12.1899", "  05.03.2023"},
        {"yyyy-mm-dd \"god.\"", '/', "1899-12-30 god.", "2023-03-05 god."},
    };
    const std::vector<PersonRow> persons = {
        {"1", "Petrov", "Boris", "Ana", "A1", "7", false, false, std::nullopt, std::nullopt},
        {"2", "Petrov", "Boris", "Ana", "A1", "7", false, false, "2023-03-05", std::nullopt},
    };
    for (const Case& c : cases) {
        data::RegionalSettings settings = data::RegionalSettings::defaults();
        settings.shortDatePattern = c.pattern;
        settings.dateSeparator = c.separator;
        const std::string rest = "                 Ana               Boris              Petrov";
        const std::string expected = kHead + "        A1              1" + rest + c.emptyDateColumn +
                                     "           7      100\r\n" + "        A1              2" + rest + c.dateColumn +
                                     "           7      100\r\n";
        EXPECT_EQ(exportedFile(persons, "A1", settings), expected) << "pattern " << c.pattern;
    }
}

TEST(ExportFormat, DoctorWithoutPersonsGivesTheTwoHeadLinesOnly) {
    const std::vector<PersonRow> persons = {
        {"1", "Petrov", "Boris", "Ana", "B2", "7", false, false, std::nullopt, std::nullopt},
    };
    EXPECT_EQ(exportedFile(persons, "A1"), kHead);
}

TEST(ExportFormat, CodePageBytesPassUnchangedAndCountAsOneCharacterEach) {
    // The register holds UTF-8; the engine delivers windows-1251, and those bytes go into the file.
    const std::vector<PersonRow> persons = {
        {"1", "Ќосевска", "Љубе", "Ѓорѓи", "A1", "Ѕ-1", false, false, std::nullopt, std::nullopt},
    };
    const std::string expected = kHead + "        A1"
                                         "              1"
                                         "               \x81\xee\xf0\x83\xe8"
                                         "                \x8a\xf3\xe1\xe5"
                                         "            \x8d\xee\xf1\xe5\xe2\xf1\xea\xe0"
                                         "    12/30/99"
                                         "         \xbd-1"
                                         "      100"
                                         "\r\n";
    EXPECT_EQ(exportedFile(persons, "A1"), expected);
}

TEST(ExportFormat, LettersTheCodePageLacksAreOneCharacterEachSoFullWidthNamesKeepTheColumns) {
    // Full-width names of letters windows-1251 lacks, which the C library would spell with two letters each.
    const std::vector<PersonRow> persons = {
        {"1", "Weißmüller-Straßberg", "Œdipe-Ænéas-Øle", "Þórður-Œrsted", "A1", "7", false, false, std::nullopt,
         std::nullopt},
    };
    // Columns: first name, father's name, surname, each at its full width or within it.
    const std::string expected = kHead + "        A1              1" + "       Tordur-Orsted" + "     Odipe-Aneas-Ole" +
                                 "Weismuller-Strasberg" + "    12/30/99" + "           7      100\r\n";
    EXPECT_EQ(exportedFile(persons, "A1"), expected);

    OpenRegister reg(persons);
    reg.list().reload("A1");
    std::vector<std::string> reported;
    for (const auto& loss : reg.list().textLosses())
        reported.push_back(reg.list().describe(loss));
    EXPECT_EQ(reported.front(), "Osigurenici, MB 1, column PRE: 'Weißmüller-Straßberg' is delivered as "
                                "'Weismuller-Strasberg' (the code page windows-1251 cannot hold it)");
}

// Keeps every chunk it is given, to see how the bytes arrive.
class RecordingOutput : public exportfile::ExportOutput {
public:
    void write(std::string_view bytes) override { chunks.emplace_back(bytes); }
    std::vector<std::string> chunks;
};

TEST(ExportFormat, ManyRowsArriveInFewLargeChunksInOrderAndTheListEndsOnItsLastRow) {
    constexpr int kRows = 3000;
    std::vector<PersonRow> persons;
    std::string expected = kHead;
    for (int i = 0; i < kRows; ++i) {
        char mb[14];
        std::snprintf(mb, sizeof mb, "%013d", i);
        persons.push_back({mb, "Petrov", "Boris", "Ana", "A1", "7", false, false, std::nullopt, std::nullopt});
        expected += std::string("        A1  ") + mb +
                    "                 Ana               Boris              Petrov    12/30/99           7      100\r\n";
    }
    OpenRegister reg(persons);
    reg.list().reload("A1");
    RecordingOutput output;
    exportfile::writeExport(reg.list(), data::RegionalSettings::defaults(), output);

    std::string written;
    for (const std::string& chunk : output.chunks)
        written += chunk;
    EXPECT_EQ(written, expected);
    EXPECT_LT(output.chunks.size(), static_cast<std::size_t>(kRows / 100)) << "the lines must not go out one by one";
    EXPECT_EQ(reg.list().recNo(), kRows - 1);
}

} // namespace

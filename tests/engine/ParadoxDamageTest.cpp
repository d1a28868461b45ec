// Damaged Paradox tables: every damage is an EngineError naming the file, the place and what is wrong,
// never a crash, a hang or a result with rows missing. The damaged copies are made from a table pxlib wrote
// and are never given to pxlib.
#include "engine/CodePage.h"
#include "engine/EngineError.h"
#include "engine/ParadoxDatabase.h"
#include "engine/ParadoxExercise.h"
#include "engine/ParadoxFixtures.h"

#include "support/Failures.h"

extern "C" {
#include <paradox.h>
}

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <set>

using namespace testsupport;

namespace {

// pxlib's layout of the base table: 2 KiB blocks (pxlib's choice for short records) after a 2 KiB header,
// 45-byte records (K long, NAME alpha 20, D date, BCD with 2 decimals), 45 to a block, so 1000 records fill
// 23 blocks.
constexpr std::size_t kHeader = 0x800;
constexpr std::size_t kBlock = 2 * 1024;
constexpr std::size_t kDescriptors = 0x78;
constexpr std::size_t kFieldNames = kDescriptors + 4 * 2 + 4 + 4 * 4 + 261;
constexpr std::size_t kRecord = 45;

std::size_t blockAt(int block) { return kHeader + (static_cast<std::size_t>(block) - 1) * kBlock; }
std::size_t recordAt(int block, int record) {
    return blockAt(block) + 6 + (static_cast<std::size_t>(record) - 1) * kRecord;
}

std::string writeBaseTable(const TempDir& dir) {
    const std::string path = dir.file("Base.DB");
    PxlibTable table(path, {{"K", pxfLong, 4}, {"NAME", pxfAlpha, 20}, {"D", pxfDate, 4}, {"BCD", pxfBCD, 17, 2}});
    for (int i = 0; i < 1000; ++i) {
        table.beginRecord();
        table.longInt(0, i);
        table.alpha(1, "name " + std::to_string(i % 50));
        table.date(2, 2000 + i % 20, 1 + i % 12, 1 + i % 28);
        table.bcd(3, std::to_string(i) + ".25");
        table.appendRecord();
    }
    return path;
}

std::string littleEndian32(std::uint32_t value) { return littleEndian16(value & 0xFFFF) + littleEndian16(value >> 16); }

// The folder's tables as the program reads them: through the paradox driver's SQL.
std::unique_ptr<engine::Database> openFolder(const std::string& folder) {
    engine::AliasDefinition alias;
    alias.name = "damage";
    alias.driver = "paradox";
    alias.entries["path"] = folder;
    alias.sourceFile = folder + "/aliases.ini";
    return engine::openParadoxDatabase(alias, engine::CodePage::named("windows-1251"), {});
}

// Every row of the base table's layout as "K|NAME|D|BCD", in the order SQL delivers them. Throws EngineError.
std::vector<std::string> rowsOf(engine::Database& db, const std::string& table) {
    auto cursor = db.execute("select k, name, d, bcd from " + table, {});
    std::vector<std::string> rows;
    while (cursor->next()) {
        std::string row;
        for (std::size_t c = 0; c < 4; ++c)
            row += (c ? "|" : "") + std::string(cursor->isBlank(c) ? "<null>" : cursor->text(c));
        rows.push_back(row);
    }
    return rows;
}

} // namespace

TEST(ParadoxDamage, EveryDamageIsAnEngineErrorNamingFilePlaceAndFault) {
    TempDir dir;
    const std::string base = readFile(writeBaseTable(dir));
    ASSERT_EQ(base.size(), kHeader + 23 * kBlock) << "the base table is meant to have 23 blocks";
    ASSERT_EQ(base.substr(kFieldNames, 2), std::string("K\0", 2)) << "field names are where the layout says";
    ASSERT_EQ(exerciseParadoxTable(dir.file("Base.DB")), 1000u);

    struct Damage {
        const char* what;
        std::function<void(std::string&)> damage;
        std::string expected; // after "<path>"
    };
    const auto put = [](std::size_t at, std::string bytes) {
        return [at, bytes](std::string& file) { file.replace(at, bytes.size(), bytes); };
    };
    const std::string e = ""; // keeps the table below aligned
    const Damage damages[] = {
        {"empty file", [](std::string& f) { f.clear(); },
         ", header: the file holds 0 bytes, too few for a Paradox table"},
        {"cut inside the fixed header", [](std::string& f) { f.resize(0x40); },
         ", header: the file holds 64 bytes, too few for a Paradox table"},
        {"cut inside the header", [](std::string& f) { f.resize(0x700); },
         ", header: the header of 2048 bytes is longer than the file (1792 bytes)"},
        {"cut inside the second block", [](std::string& f) { f.resize(blockAt(2) + 100); },
         ", header: the header promises 23 blocks of 2048 bytes after its own 2048 bytes, but the file has room "
         "for only 1"},
        {"chain loops back", put(blockAt(3), littleEndian16(1)),
         ", block 3: the next block is block 1, which the chain of blocks has passed before (the chain loops)"},
        {"block links to itself", put(blockAt(1), littleEndian16(1)),
         ", block 1: the next block is block 1, which the chain of blocks has passed before (the chain loops)"},
        {"chain leaves the file", put(blockAt(2), littleEndian16(500)),
         ", block 2: the next block is block 500, but the file holds only 23 blocks"},
        {"first block past the file", put(0x0E, littleEndian16(99)),
         ", header: the first block is block 99, but the file holds only 23 blocks"},
        {"block claims more records than fit", put(blockAt(2) + 4, littleEndian16(0x7FFF)),
         ", block 2: the block claims 729 records (the last at byte 32767), but only 45 fit"},
        {"field count past the header", put(0x21, littleEndian16(0x7FFF)),
         ", header: the header of 2048 bytes is too short for the descriptors of 32767 fields"},
        {"negative field count", put(0x21, littleEndian16(0x8000)), ", header: the field count -32768 is impossible"},
        {"no fields", put(0x21, littleEndian16(0)), ", header: the field count 0 is impossible"},
        {"field size past the record", put(kDescriptors + 3, "\xC8"),
         ", header: the fields need more than the 45 bytes of a record (field 2 ends at byte 204)"},
        {"date of eight bytes", put(kDescriptors + 5, "\x08"),
         ", header: field 3 is of type date with the impossible size 8"},
        {"alpha of no bytes", put(kDescriptors + 3, std::string(1, '\0')),
         ", header: field 2 is of type alpha with the impossible size 0"},
        {"unknown field type", put(kDescriptors + 2, "\x07"), ", header: field 2 has an unknown type 0x07"},
        {"record size zero", put(0x00, littleEndian16(0)), ", header: the record size is zero"},
        {"record larger than a block", put(0x00, littleEndian16(0xFFFF)),
         ", header: records of 65535 bytes do not fit in blocks of 2048 bytes"},
        {"block size code zero", put(0x05, std::string(1, '\0')), ", header: unknown block size code 0"},
        {"header smaller than its descriptors", put(0x02, littleEndian16(0x10)),
         ", header: the header size 16 is too small"},
        {"an index file", put(0x04, "\x01"), ", header: this is not a Paradox data table (file type 1)"},
        {"unknown version", put(0x39, "\x63"), ", header: unknown table version (version byte 99)"},
        {"field names without end", put(kFieldNames, std::string(kHeader - kFieldNames, 'x')),
         ", header: the name of field 1 runs past the end of the header"},
        {"empty field name", put(kFieldNames, std::string(1, '\0')), ", header: field 1 has no name"},
        {"unsupported code page", put(0x6A, littleEndian16(12345)),
         ", header: the table's code page 12345 is not an 8-bit DOS or Windows code page"},
        {"date before year 1", put(recordAt(1, 2) + 24, std::string("\0\0\0\x01", 4)),
         ", block 1, record 2: field 'D' holds no valid date (day number -2147483647)"},
        {"date after year 9999", put(recordAt(3, 5) + 24, "\x80\x37\xB9\xDC"),
         ", block 3, record 5: field 'D' holds no valid date (day number 3652060)"},
        {"BCD with a half byte that is no digit", put(recordAt(2, 1) + 28 + 16, "\xAA"),
         ", block 2, record 1: field 'BCD' holds no valid BCD number (the half byte 0x0A is no digit)"},
    };
    const std::string path = dir.file("Damaged.DB");
    for (const auto& d : damages) {
        std::string file = base;
        d.damage(file);
        writeBytes(path, file);
        EXPECT_EQ(failureOf<engine::EngineError>([&] { exerciseParadoxTable(path); }), path + e + d.expected) << d.what;
    }
}

TEST(ParadoxDamage, FilesThatOnceBrokeTheReaderAreRefusedCleanly) {
    // Inputs the fuzzer found, kept so that the faults stay fixed. Each is read in full or refused with an
    // EngineError that names it; the sanitizer build turns any memory fault into a failure.
    const std::filesystem::path folder = std::filesystem::path(__FILE__).parent_path() / "paradox-regressions";
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() != ".DB")
            continue;
        ++files;
        const std::string path = entry.path().string();
        const std::string failure = failureOf<engine::EngineError>([&] { exerciseParadoxTable(path); });
        if (failure != "(no failure)") {
            EXPECT_EQ(failure.rfind(path, 0), 0u) << failure;
        }
    }
    EXPECT_GT(files, 0u) << "no regression files in " << folder;
}

TEST(ParadoxDamage, AHeaderThatDisagreesWithTheBlocksIsAnErrorNamingBothCounts) {
    // The header promises 1000 records in 23 blocks of 2048 bytes after its own 2048 bytes; the chain runs
    // 1 -> 2 -> ... -> 23. Each damage below used to be read as a shorter (or longer) table without a word.
    TempDir dir;
    const std::string base = readFile(writeBaseTable(dir));
    ASSERT_EQ(base.size(), kHeader + 23 * kBlock);
    ASSERT_EQ(base.substr(0x06, 12),
              littleEndian32(1000) + littleEndian16(23) + littleEndian16(23) + littleEndian16(1) + littleEndian16(23))
        << "record count, next-block word, block count, first and last block are where the layout says";

    struct Damage {
        const char* what;
        std::size_t at;
        std::string bytes;
        std::string expected; // after "<path>"
    };
    const Damage damages[] = {
        {"record count too high", 0x06, littleEndian32(1001),
         ": the header promises 1001 records, but the blocks hold 1000"},
        {"record count too low", 0x06, littleEndian32(999),
         ": the header promises 999 records, but the blocks hold 1000"},
        {"a block's record count too low", blockAt(3) + 4, littleEndian16(1980 - kRecord),
         ": the header promises 1000 records, but the blocks hold 999"},
        {"first-block word zero", 0x0E, littleEndian16(0),
         ": the header promises 23 blocks, but the chain of blocks holds 0"},
        {"first-block word past block 1", 0x0E, littleEndian16(2),
         ": the header promises 23 blocks, but the chain of blocks holds 22"},
        {"block pointer pointing back", blockAt(5), littleEndian16(3),
         ", block 5: the next block is block 3, which the chain of blocks has passed before (the chain loops)"},
        {"block pointer beyond the file", blockAt(7), littleEndian16(24),
         ", block 7: the next block is block 24, but the file holds only 23 blocks"},
        {"block pointer skipping a block", blockAt(4), littleEndian16(6),
         ": the header promises 23 blocks, but the chain of blocks holds 22"},
        {"chain ending early", blockAt(10), littleEndian16(0),
         ": the header promises 23 blocks, but the chain of blocks holds 10"},
        {"block count too low", 0x0C, littleEndian16(22),
         ", block 22: the next block is block 23, but the chain has already passed the 22 blocks the header promises"},
        {"block count zero", 0x0C, littleEndian16(0),
         ", header: the first block is block 1, but the header promises no blocks"},
        {"block count too high", 0x0A, littleEndian16(24) + littleEndian16(24),
         ", header: the header promises 24 blocks of 2048 bytes after its own 2048 bytes, but the file has room for "
         "only 23"},
        {"header size larger by a block", 0x02, littleEndian16(0x1000),
         ", header: the header promises 23 blocks of 2048 bytes after its own 4096 bytes, but the file has room for "
         "only 22"},
        {"header size off a block boundary", 0x02, littleEndian16(0x700),
         ", header: the 47360 bytes after the header of 1792 bytes are not whole blocks of 2048 bytes"},
    };
    const std::string path = dir.file("Damaged.DB");
    for (const auto& d : damages) {
        std::string file = base;
        file.replace(d.at, d.bytes.size(), d.bytes);
        writeBytes(path, file);
        EXPECT_EQ(failureOf<engine::EngineError>([&] { exerciseParadoxTable(path); }), path + d.expected) << d.what;
    }
}

TEST(ParadoxDamage, SqlReportsMissingRowsAsAnErrorOfTheCursorNotAsTheEnd) {
    // The count can only be checked once the chain is read, so a statement delivers the rows it found and
    // then fails: next() throws instead of returning false, for a full scan and for a lookup by the index.
    TempDir dir;
    const std::string path = writeBaseTable(dir);
    patchBytes(path, blockAt(4), littleEndian16(6)); // block 5 and its 45 records drop out of the chain
    const std::string expected = path + ": the header promises 23 blocks, but the chain of blocks holds 22";
    auto db = openFolder(dir.path());
    for (const std::string sql : {"select * from base", "select k from base where name = 'name 7'"}) {
        auto cursor = db->execute(sql, {});
        std::size_t rows = 0;
        const std::string failure = failureOf<engine::EngineError>([&] {
            while (cursor->next())
                ++rows;
        });
        EXPECT_EQ(failure, expected) << sql;
        EXPECT_EQ(rows, sql.find("where") == std::string::npos ? 955u : 0u) << sql;
    }
}

TEST(ParadoxDamage, EveryMutationOfTheHeaderOrChainGivesAllRowsOrAnError) {
    // Each byte of the header's layout numbers and of every block's header, set to a handful of other values
    // one at a time: the statement delivers the table's rows in full, or fails with an error naming the file.
    TempDir dir;
    const std::string base = readFile(writeBaseTable(dir));
    const std::vector<std::string> expected = rowsOf(*openFolder(dir.path()), "base");
    ASSERT_EQ(expected.size(), 1000u);

    std::vector<std::size_t> places;
    for (std::size_t at = 0x00; at < 0x12; ++at) // record and header size, type, block size, counts, chain ends
        places.push_back(at);
    // Next and previous block and the offset of the last record, in the blocks where the chain begins and
    // ends and in one between (the others are alike).
    for (const int block : {1, 2, 12, 22, 23})
        for (std::size_t at = 0; at < 6; ++at)
            places.push_back(blockAt(block) + at);

    TempDir damagedDir;
    const std::string path = damagedDir.file("T.DB");
    std::size_t mutations = 0;
    std::size_t refused = 0;
    for (const std::size_t at : places) {
        const unsigned original = static_cast<unsigned char>(base[at]);
        std::set<unsigned> values = {0x00, 0x01, 0xFF, (original + 1) & 0xFF, (original - 1) & 0xFF, original ^ 0x80};
        values.erase(original);
        for (const unsigned value : values) {
            std::string file = base;
            file[at] = static_cast<char>(value);
            writeBytes(path, file);
            ++mutations;
            const std::string where = "byte " + std::to_string(at) + " set to " + std::to_string(value);
            try {
                const auto rows = rowsOf(*openFolder(damagedDir.path()), "t");
                EXPECT_EQ(rows.size(), expected.size()) << where;
                EXPECT_TRUE(rows == expected) << where;
            } catch (const engine::EngineError& e) {
                ++refused;
                EXPECT_EQ(std::string(e.what()).rfind(path, 0), 0u) << where << ": " << e.what();
            }
        }
    }
    // Both outcomes occur: the words this reader does not use (the previous-block links) change nothing.
    EXPECT_GT(refused, 0u);
    EXPECT_LT(refused, mutations);
}

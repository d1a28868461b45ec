// Damaged Paradox tables: every damage is an EngineError naming the file, the place and what is wrong,
// never a crash or a hang. The damaged copies are made from a table pxlib wrote and are never given to pxlib.
#include "engine/EngineError.h"
#include "engine/ParadoxExercise.h"
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

// pxlib's layout of the base table: 2 KiB blocks (pxlib's choice for short records) after a 2 KiB header,
// 45-byte records (K long, NAME alpha 20, D date, BCD with 2 decimals), 45 to a block, so 1000 records fill
// 23 blocks.
constexpr std::size_t kHeader = 0x800;
constexpr std::size_t kBlock = 2 * 1024;
constexpr std::size_t kDescriptors = 0x78;
constexpr std::size_t kFieldNames = kDescriptors + 4 * 2 + 4 + 4 * 4 + 261;
constexpr std::size_t kRecord = 45;

std::size_t blockAt(int block) {
    return kHeader + (static_cast<std::size_t>(block) - 1) * kBlock;
}
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

} // namespace

TEST(ParadoxDamage, EveryDamageIsAnEngineErrorNamingFilePlaceAndFault) {
    TempDir dir;
    const std::string base = readBytes(writeBaseTable(dir));
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
         ", block 1: the next block is block 2, but the file holds only 1 block"},
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

// The Paradox table reader over tables written by pxlib (an independent writer) and by our own small writer
// (the versions and layouts pxlib cannot write).
#include "engine/ParadoxTable.h"
#include "engine/Date.h"
#include "engine/EngineError.h"
#include "engine/ParadoxExercise.h"
#include "engine/ParadoxFixtures.h"
#include "engine/ParadoxIndex.h"
#include "engine/ParadoxPasswords.h"
#include "engine/ParadoxTestWriter.h"

#include "support/Failures.h"

extern "C" {
#include <paradox.h>
}

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>

using namespace testsupport;
using engine::ParadoxFieldType;

namespace {

// The values of one integer field over all records in scan order (blank as "-").
std::vector<std::string> column(const engine::ParadoxTable& table, const std::string& name) {
    const engine::ParadoxField& field = *table.fieldNamed(name);
    std::vector<std::string> values;
    for (engine::ParadoxScan scan(table); scan.next();) {
        const auto record = scan.record();
        if (record.isBlank(field))
            values.push_back("-");
        else if (field.type == ParadoxFieldType::Alpha)
            values.emplace_back(record.alpha(field));
        else
            values.push_back(std::to_string(record.integer(field)));
    }
    return values;
}

std::vector<std::string> numbered(int from, int to) {
    std::vector<std::string> out;
    for (int i = from; i < to; ++i)
        out.push_back(std::to_string(i));
    return out;
}

} // namespace

TEST(ParadoxTable, ReadsEveryFieldTypeAsPxlibWroteIt) {
    TempDir dir;
    const std::string path = dir.file("Types.DB");
    {
        // A memo field between others: it keeps its place in the record and has no value here.
        PxlibTable table(path, everyFieldType(10, 15, 4));
        table.beginRecord();
        table.alpha(0, "Petrovski");
        table.date(1, 2001, 2, 3);
        table.shortInt(2, 300);
        table.longInt(3, 1234567);
        table.number(4, 12.5);
        table.number(6, 100.5);
        table.logical(7, true);
        table.time(8, (13 * 3600 + 5 * 60 + 9) * 1000 + 250);
        table.timestamp(9, 1999, 12, 31, (23 * 3600 + 59 * 60 + 58) * 1000);
        table.longInt(10, 7);
        table.bcd(11, "123456789.5");
        table.bytes(12, std::string("\x01\x00\xFF\x7F", 4));
        table.appendRecord();

        table.beginRecord();
        table.alpha(0, "X");
        table.date(1, 1, 1, 1);
        table.shortInt(2, -2);
        table.longInt(3, -54);
        table.number(4, -54.0);
        table.number(6, 0.0);
        table.logical(7, false);
        table.time(8, 0);
        table.timestamp(9, 9999, 12, 31, 0);
        table.longInt(10, 0);
        table.bcd(11, "-12.34");
        table.appendRecord();

        table.beginRecord(); // every field blank
        table.appendRecord();
    }

    const engine::ParadoxTable table(path);
    EXPECT_EQ(table.versionId(), 12);
    ASSERT_EQ(table.fields().size(), 13u);
    EXPECT_FALSE(table.fieldNamed("M")->hasValue());
    const auto f = [&](const char* name) -> const engine::ParadoxField& { return *table.fieldNamed(name); };

    engine::ParadoxScan scan(table);
    ASSERT_TRUE(scan.next());
    auto r = scan.record();
    EXPECT_EQ(r.alpha(f("A")), "Petrovski");
    EXPECT_EQ(r.date(f("D")), engine::dayNumberOf(2001, 2, 3));
    EXPECT_EQ(r.integer(f("S")), 300);
    EXPECT_EQ(r.integer(f("I")), 1234567);
    EXPECT_EQ(r.number(f("C")), 12.5);
    EXPECT_TRUE(r.isBlank(f("M")));
    EXPECT_EQ(r.number(f("N")), 100.5);
    EXPECT_TRUE(r.logical(f("L")));
    EXPECT_EQ(r.time(f("T")), (13 * 3600 + 5 * 60 + 9) * 1000 + 250);
    EXPECT_EQ(r.timestamp(f("TS")).day, engine::dayNumberOf(1999, 12, 31));
    EXPECT_EQ(r.timestamp(f("TS")).millisecond, (23 * 3600 + 59 * 60 + 58) * 1000);
    EXPECT_EQ(r.integer(f("AI")), 7);
    EXPECT_EQ(r.bcdText(f("BCD")), "123456789.50");
    EXPECT_EQ(r.bytes(f("Y")), std::string("\x01\x00\xFF\x7F", 4));

    // Zero, false, negative numbers and the first and last days are values, not blanks.
    ASSERT_TRUE(scan.next());
    r = scan.record();
    for (const auto& field : table.fields())
        EXPECT_EQ(r.isBlank(field), field.name == "M" || field.name == "Y") << field.name;
    EXPECT_EQ(r.date(f("D")), 1);
    EXPECT_EQ(r.integer(f("S")), -2);
    EXPECT_EQ(r.integer(f("I")), -54);
    EXPECT_EQ(r.number(f("C")), -54.0);
    EXPECT_EQ(r.number(f("N")), 0.0);
    EXPECT_FALSE(r.logical(f("L")));
    EXPECT_EQ(r.time(f("T")), 0);
    EXPECT_EQ(r.timestamp(f("TS")).day, engine::dayNumberOf(9999, 12, 31));
    EXPECT_EQ(r.integer(f("AI")), 0);
    EXPECT_EQ(r.bcdText(f("BCD")), "-12.34");

    ASSERT_TRUE(scan.next());
    r = scan.record();
    for (const auto& field : table.fields())
        EXPECT_TRUE(r.isBlank(field)) << field.name;
    EXPECT_FALSE(scan.next());
}

TEST(ParadoxTable, KeepsTextInTheCodePageTheHeaderRecords) {
    TempDir dir;
    struct Case {
        const char* encoding;
        int codePage;
        const char* utf8;
        std::string stored;
    };
    const Case cases[] = {
        {"CP1251", 1251, "Ќирил Ѓорѓи", "\x8D\xE8\xF0\xE8\xEB \x81\xEE\xF0\x83\xE8"},
        {"CP866", 866, "Петров", "\x8F\xA5\xE2\xE0\xAE\xA2"},
        {"CP1252", 1252, "Café", "Caf\xE9"},
    };
    for (const auto& c : cases) {
        const std::string path = dir.file(std::string(c.encoding) + ".DB");
        {
            PxlibTable table(path, {{"NAME", pxfAlpha, 20}}, c.encoding);
            table.beginRecord();
            table.alpha(0, c.utf8);
            table.appendRecord();
        }
        const engine::ParadoxTable table(path);
        EXPECT_EQ(table.codePageNumber(), c.codePage) << c.encoding;
        ASSERT_NE(table.codePage(), nullptr);
        engine::ParadoxScan scan(table);
        ASSERT_TRUE(scan.next());
        EXPECT_EQ(scan.record().alpha(table.fields()[0]), c.stored) << c.encoding;
        EXPECT_EQ(table.codePage()->toUtf8(c.stored), c.utf8) << c.encoding;
    }

    // Version 3 headers record no code page.
    {
        ParadoxTestWriter old(dir.file("Old.DB"), {{"NAME", ParadoxFieldType::Alpha, 8}}, {.versionId = 3});
        std::string record = old.blankRecord();
        old.alpha(record, 0, "\xC0\xE1");
        old.append(record);
    }
    const engine::ParadoxTable old(dir.file("Old.DB"));
    EXPECT_EQ(old.codePage(), nullptr);
    engine::ParadoxScan scan(old);
    ASSERT_TRUE(scan.next());
    EXPECT_EQ(scan.record().alpha(old.fields()[0]), "\xC0\xE1");
}

TEST(ParadoxTable, FollowsTheBlockChainPastDeletedRecordsAndEmptiedBlocks) {
    TempDir dir;
    const std::string path = dir.file("Gaps.DB");
    {
        // 204-byte records: pxlib's 16 KiB blocks hold 80 each, so 200 records fill three blocks.
        PxlibTable table(path, {{"K", pxfLong, 4}, {"S", pxfAlpha, 200}});
        for (int i = 0; i < 200; ++i) {
            table.beginRecord();
            table.longInt(0, i);
            table.alpha(1, "row " + std::to_string(i));
            table.appendRecord();
        }
        for (int i = 80; i < 160; ++i) // every record of the middle block: it stays in the chain, empty
            table.deleteRecord(80);
        table.deleteRecord(5); // records after it in the block move up
        table.deleteRecord(0);
    }
    const std::string bytes = readFile(path);
    const std::size_t blockSize = 16 * 1024;
    ASSERT_EQ(bytes.size(), 0x800 + 3 * blockSize) << "the fixture is meant to have three blocks";
    EXPECT_EQ(bytes.substr(0x800 + blockSize + 4, 2), littleEndian16(0x10000 - 204)) << "the middle block is empty";

    const engine::ParadoxTable table(path);
    std::vector<std::string> expected = numbered(1, 5);
    const auto rest = numbered(6, 80);
    expected.insert(expected.end(), rest.begin(), rest.end());
    const auto last = numbered(160, 200);
    expected.insert(expected.end(), last.begin(), last.end());
    EXPECT_EQ(column(table, "K"), expected);

    // Reading a record again by the position a scan gave yields the same record.
    std::vector<unsigned char> buffer;
    const auto& k = *table.fieldNamed("K");
    for (engine::ParadoxScan scan(table); scan.next();)
        EXPECT_EQ(table.readRecord(scan.record().position(), buffer).integer(k), scan.record().integer(k));
}

TEST(ParadoxTable, ReadsOlderVersionsAndAnyBlockSizeInChainOrder) {
    struct Layout {
        int versionId;
        int blockSizeCode;
    };
    for (const Layout layout : {Layout{3, 1}, Layout{4, 2}, Layout{9, 4}, Layout{11, 3}, Layout{12, 32}}) {
        SCOPED_TRACE("version byte " + std::to_string(layout.versionId));
        TempDir dir;
        const std::string path = dir.file("Chain.DB");
        {
            ParadoxTestWriter writer(path, {{"K", ParadoxFieldType::Long, 4}, {"NAME", ParadoxFieldType::Alpha, 12}},
                                     {.versionId = layout.versionId,
                                      .blockSizeCode = layout.blockSizeCode,
                                      .codePage = 0,
                                      .recordsPerBlock = 2});
            for (int i = 0; i < 6; ++i) {
                std::string record = writer.blankRecord();
                writer.longInt(record, 0, i);
                writer.alpha(record, 1, "n" + std::to_string(i));
                writer.append(record);
            }
        }
        // Relink the three blocks as 1 -> 3 -> 2: the chain, not the file, gives the order.
        const std::size_t blockSize = static_cast<std::size_t>(layout.blockSizeCode) * 1024;
        const auto blockAt = [&](int block) { return 0x800 + (block - 1) * blockSize; };
        patchBytes(path, blockAt(1), littleEndian16(3));
        patchBytes(path, blockAt(3), littleEndian16(2));
        patchBytes(path, blockAt(2), littleEndian16(0));

        const engine::ParadoxTable table(path);
        EXPECT_EQ(table.versionId(), layout.versionId);
        EXPECT_EQ(table.blockSize(), blockSize);
        EXPECT_EQ(column(table, "K"), (std::vector<std::string>{"0", "1", "4", "5", "2", "3"}));
        EXPECT_EQ(column(table, "NAME"), (std::vector<std::string>{"n0", "n1", "n4", "n5", "n2", "n3"}));
    }
}

TEST(ParadoxTable, AcceptsAShorterChainOnlyWhenTheHeaderSaysBlocksLeftIt) {
    // Three blocks of two records; block 2 is emptied and taken out of the chain (1 -> 3), and the header
    // counts the four records left. Whether the chain may pass fewer blocks than the header counts is told by
    // the next-block word: equal to the block count, every block must be in the chain.
    TempDir dir;
    const std::string path = dir.file("Left.DB");
    {
        ParadoxTestWriter writer(path, {{"K", ParadoxFieldType::Long, 4}}, {.blockSizeCode = 1, .recordsPerBlock = 2});
        for (int i = 0; i < 6; ++i) {
            std::string record = writer.blankRecord();
            writer.longInt(record, 0, i);
            writer.append(record);
        }
    }
    const std::size_t block2 = 0x800 + 1024;
    patchBytes(path, 0x800, littleEndian16(3));
    patchBytes(path, block2 + 4, littleEndian16(0x10000 - 4)); // no records
    patchBytes(path, 0x06, littleEndian16(4));
    ASSERT_EQ(readFile(path).substr(0x0A, 4), littleEndian16(3) + littleEndian16(3));
    EXPECT_EQ(failureOf<engine::EngineError>([&] { column(engine::ParadoxTable(path), "K"); }),
              path + ": the header promises 3 blocks, but the chain of blocks holds 2");

    patchBytes(path, 0x0A, littleEndian16(2));
    EXPECT_EQ(column(engine::ParadoxTable(path), "K"), (std::vector<std::string>{"0", "1", "4", "5"}));
}

TEST(ParadoxTable, IndexGivesTheRecordsOfOneValueInChainOrder) {
    TempDir dir;
    const std::string path = dir.file("Index.DB");
    {
        PxlibTable table(path, {{"K", pxfLong, 4}, {"DOCTOR", pxfAlpha, 6}});
        const char* doctors[] = {"A1", "Ѓ2", "A1", "", "B3", "A1", "Ѓ2"};
        for (int i = 0; i < 700; ++i) { // several blocks
            table.beginRecord();
            table.longInt(0, i);
            table.alpha(1, doctors[i % 7]);
            table.appendRecord();
        }
    }
    const engine::ParadoxTable table(path);
    const engine::CodePage& stored = *table.codePage();
    const engine::ParadoxAlphaIndex index(table, *table.fieldNamed("DOCTOR"),
                                          [&](std::string_view text) { return stored.toUtf8(text); });
    EXPECT_EQ(index.keyCount(), 3u); // blanks are not indexed
    EXPECT_EQ(index.recordCount(), 600u);

    std::vector<unsigned char> buffer;
    const auto keysOf = [&](std::string_view key) {
        std::vector<std::string> keys;
        for (const auto position : index.find(key))
            keys.push_back(std::to_string(table.readRecord(position, buffer).integer(*table.fieldNamed("K"))));
        return keys;
    };
    std::vector<std::string> a1, dje;
    for (int i = 0; i < 700; ++i) {
        if (i % 7 == 0 || i % 7 == 2 || i % 7 == 5)
            a1.push_back(std::to_string(i));
        if (i % 7 == 1 || i % 7 == 6)
            dje.push_back(std::to_string(i));
    }
    EXPECT_EQ(keysOf("A1"), a1);
    EXPECT_EQ(keysOf("Ѓ2"), dje); // found by its UTF-8 text
    EXPECT_TRUE(keysOf("a1").empty());
    EXPECT_TRUE(keysOf("").empty());
    EXPECT_GT(index.memoryBytes(), 600 * sizeof(std::uint32_t));
}

// The same records written by pxlib once plainly and once protected by a password: more than 256 blocks, so
// that the block number's byte in the key wraps around, and records that straddle the 256-byte chunks.
TEST(ParadoxTable, ReadsTablesProtectedByAPasswordAsPxlibWroteThem) {
    TempDir dir;
    const auto write = [&](const std::string& name, const std::string& password) {
        const std::string path = dir.file(name);
        PxlibTable table(path, {{"K", pxfLong, 4}, {"NAME", pxfAlpha, 29}});
        if (!password.empty())
            table.setPassword(password);
        for (int i = 0; i < 17'000; ++i) {
            table.beginRecord();
            table.longInt(0, i);
            table.alpha(1, "Лице " + std::to_string(i % 97));
            table.appendRecord();
        }
        return path;
    };
    const std::string plainPath = write("Plain.DB", "");
    const std::string path = write("Secret.DB", kExercisePassword);
    ASSERT_NE(readFile(path).substr(0x5C, 4), std::string(4, '\0')) << "pxlib was meant to protect the table";

    const engine::ParadoxTable plain(plainPath);
    engine::ParadoxPasswords passwords(kExercisePassword, {});
    const engine::ParadoxTable table(path, &passwords);
    ASSERT_GT(table.blockCountInHeader(), 256u);
    EXPECT_TRUE(table.isProtected());
    EXPECT_EQ(column(table, "K"), column(plain, "K"));
    EXPECT_EQ(column(table, "NAME"), column(plain, "NAME"));
    // Each record again by its position, and the index's lookups, as the reloads read them.
    EXPECT_EQ(exerciseParadoxTable(path), 17'000u);

    EXPECT_EQ(failureOf<engine::EngineError>([&] { engine::ParadoxTable none(path); }),
              path + ": the table is protected by a password, and none was given");
    engine::ParadoxPasswords wrong("secret", {});
    EXPECT_EQ(failureOf<engine::EngineError>([&] { engine::ParadoxTable refused(path, &wrong); }),
              path + ": the password the alias gives is not the table's password");
}

// A damaged protected table fails with a located error: a check value no password gives, and a block that
// does not unscramble into a sane one.
TEST(ParadoxTable, LocatesDamageInProtectedTables) {
    TempDir dir;
    const std::string path = dir.file("Secret.DB");
    {
        PxlibTable table(path, {{"K", pxfLong, 4}});
        table.setPassword(kExercisePassword);
        for (int i = 0; i < 3; ++i) {
            table.beginRecord();
            table.longInt(0, i);
            table.appendRecord();
        }
    }
    const std::string original = readFile(path);
    engine::ParadoxPasswords passwords(kExercisePassword, {});

    patchBytes(path, 0x5E, std::string(2, '\0'));
    EXPECT_EQ(failureOf<engine::EngineError>([&] { engine::ParadoxTable table(path, &passwords); }),
              path + ", header: the table is marked as protected by a password, but its password check value " +
                  std::to_string(engine::paradoxCheckValue(kExercisePassword) & 0xFFFF) +
                  " is damaged (no password gives it)");

    writeBytes(path, original);
    patchBytes(path, 0x800, std::string(256, '\x5A'));
    const std::string failure = failureOf<engine::EngineError>([&] { exerciseParadoxTable(path); });
    EXPECT_EQ(failure.rfind(path + ", block 1: ", 0), 0u) << failure;
}

TEST(ParadoxTable, ReadsTheFuzzerSeedsInFull) {
    // The fuzzer mutates these tables; one the reader refused would leave the paths past its header unexplored.
    const std::filesystem::path folder = std::filesystem::path(__FILE__).parent_path() / "../../fuzz/corpus";
    const std::map<std::string, std::size_t> records = {{"chain-v3.DB", 7},       {"chain-v4.DB", 7},
                                                        {"gaps-v7.DB", 160},      {"types-v7.DB", 3},
                                                        {"protected-v7.DB", 160}, {"protected-v3.DB", 7}};
    for (const auto& [name, count] : records)
        EXPECT_EQ(exerciseParadoxTable((folder / name).string()), count) << name;
}

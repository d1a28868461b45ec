// Writes the fuzzer's seed corpus: small valid tables of the layouts the reader knows, from pxlib (version 7,
// every field type, deleted records, a table protected by a password) and from our own writer (versions 3 and
// 4, chains out of file order, a version 3 table protected by a password).
// Usage: paradox_fuzz_seeds <folder>
#include "engine/ParadoxExercise.h"
#include "engine/ParadoxFixtures.h"
#include "engine/ParadoxTestWriter.h"

extern "C" {
#include <paradox.h>
}

#include <iostream>

using namespace testsupport;
using engine::ParadoxFieldType;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: " << argv[0] << " <folder>\n";
        return 2;
    }
    const std::string folder = argv[1];
    {
        PxlibTable table(folder + "/types-v7.DB", everyFieldType(8, 11, 3));
        for (int i = 0; i < 3; ++i) {
            table.beginRecord();
            if (i < 2) {
                table.alpha(0, i ? "Ќирил" : "A1");
                table.date(1, 2001, 2, 3 + i);
                table.shortInt(2, -i);
                table.longInt(3, 1000 * i);
                table.number(4, -2.5 * i);
                table.number(6, 0.25);
                table.logical(7, i == 1);
                table.time(8, 3600000 + i);
                table.timestamp(9, 1999, 12, 31, 1000 * i);
                table.longInt(10, i + 1);
                table.bcd(11, i ? "-12.34" : "5");
                table.bytes(12, "xyz");
            }
            table.appendRecord();
        }
    }
    for (const bool protectedTable : {false, true}) {
        PxlibTable table(folder + (protectedTable ? "/protected-v7.DB" : "/gaps-v7.DB"),
                         {{"K", pxfLong, 4}, {"DOCTOR", pxfAlpha, 6}, {"OK", pxfLogical, 1}});
        if (protectedTable)
            table.setPassword(kExercisePassword);
        for (int i = 0; i < 200; ++i) {
            table.beginRecord();
            table.longInt(0, i);
            table.alpha(1, "D" + std::to_string(i % 3));
            table.logical(2, i % 2 == 0);
            table.appendRecord();
        }
        for (int i = 0; i < 40; ++i)
            table.deleteRecord(10);
    }
    const struct {
        const char* name;
        int version;
        int codePage;
        const char* password;
    } writers[] = {
        {"chain-v3.DB", 3, 0, ""}, {"chain-v4.DB", 9, 866, ""}, {"protected-v3.DB", 3, 0, kExercisePassword}};
    for (const auto& w : writers) {
        {
            ParadoxTestWriter writer(folder + "/" + w.name,
                                     {{"K", ParadoxFieldType::Short, 2},
                                      {"NAME", ParadoxFieldType::Alpha, 10},
                                      {"DAY", ParadoxFieldType::Date, 4}},
                                     {.versionId = w.version,
                                      .blockSizeCode = 1,
                                      .codePage = w.codePage,
                                      .recordsPerBlock = 3,
                                      .password = w.password});
            for (int i = 0; i < 7; ++i) {
                std::string record = writer.blankRecord();
                writer.shortInt(record, 0, static_cast<std::int16_t>(i));
                writer.alpha(record, 1, "n" + std::to_string(i % 2));
                writer.date(record, 2, 730000 + i);
                writer.append(record);
            }
        }
        // Relink the blocks as 1 -> 3 -> 2 so that the chain, not the file, gives the order (of a plain table:
        // the links of a protected one are scrambled).
        if (*w.password != '\0')
            continue;
        const std::string path = folder + "/" + w.name;
        patchBytes(path, 0x800, littleEndian16(3));
        patchBytes(path, 0x800 + 2 * 1024, littleEndian16(2));
        patchBytes(path, 0x800 + 1024, littleEndian16(0));
    }
    return 0;
}

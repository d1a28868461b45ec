// libFuzzer target for the Paradox table reader: each input is the bytes of a .DB file. It is read the way
// the program reads tables, through the reader (every record, every field, every alpha field's index) and
// through the paradox driver's SQL (a full scan and an indexed lookup). Any outcome but success or an
// EngineError (a crash, a hang, a sanitizer report, an uncaught exception, SQL and the reader succeeding
// with different numbers of records) is a finding.
#include "engine/AliasFile.h"
#include "engine/CodePage.h"
#include "engine/EngineError.h"
#include "engine/ParadoxDatabase.h"
#include "engine/ParadoxExercise.h"
#include "engine/ParadoxTable.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace {

// A folder of its own for this process, holding the one table T.DB; removed when the process ends.
class FuzzFolder {
public:
    FuzzFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "paradox-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        path_ = std::filesystem::absolute(pattern).string(); // an alias's relative path means something else
    }
    ~FuzzFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }
    std::string table() const { return path_ + "/T.DB"; }

private:
    std::string path_;
};

// Returns the number of rows of the full scan.
std::size_t readThroughSql(const std::string& folder) {
    engine::AliasDefinition alias;
    alias.name = "fuzz";
    alias.driver = "paradox";
    alias.entries["path"] = folder;
    alias.sourceFile = folder + "/aliases.ini";
    alias.entries["password"] = testsupport::kExercisePassword;
    const engine::CodePage& codePage = engine::CodePage::named("windows-1251");
    auto db = engine::openParadoxDatabase(alias, codePage, {});

    auto all = db->execute("select * from t", {});
    std::string firstAlpha;
    std::size_t alphaColumn = 0;
    bool haveAlpha = false;
    const auto& columns = all->columns();
    for (std::size_t c = 0; c < columns.size() && !haveAlpha; ++c)
        if (columns[c].type == engine::ColumnType::String) {
            alphaColumn = c;
            haveAlpha = true;
        }
    std::size_t rows = 0;
    while (all->next()) {
        ++rows;
        for (std::size_t c = 0; c < columns.size(); ++c) {
            if (all->isBlank(c))
                continue;
            if (columns[c].type == engine::ColumnType::Date)
                all->date(c);
            else if (columns[c].type == engine::ColumnType::Boolean)
                all->boolean(c);
            else
                all->text(c);
        }
        if (haveAlpha && firstAlpha.empty() && !all->isBlank(alphaColumn))
            firstAlpha = std::string(all->text(alphaColumn));
    }
    if (!haveAlpha)
        return rows;
    std::string name = columns[alphaColumn].name;
    std::string quoted = "\"";
    for (const char c : name)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    auto lookup = db->execute("select * from t where " + quoted + "\" = ?", {firstAlpha});
    while (lookup->next())
        lookup->text(alphaColumn);
    return rows;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzFolder folder;
    {
        std::ofstream out(folder.table(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    std::optional<std::size_t> records;
    try {
        records = testsupport::exerciseParadoxTable(folder.table());
    } catch (const engine::EngineError&) {
    }
    try {
        // SQL reads the same file through the same reader: when both succeed, they saw the same records.
        const std::size_t rows = readThroughSql(folder.path());
        if (records && rows != *records)
            std::abort();
    } catch (const engine::EngineError&) {
    }
    return 0;
}

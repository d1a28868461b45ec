#pragma once

#include "data/Connection.h"
#include "data/InsuredList.h"
#include "support/FixtureRegister.h"

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace exporttest {

// A register of insured persons in a temporary SQLite file, connected the way the program connects, with the
// insured-person list still closed.
class OpenRegister {
public:
    explicit OpenRegister(const std::vector<testsupport::PersonRow>& persons)
        : aliases_(dir_.file("aliases.ini"), testsupport::AliasFileScope::sqliteAlias(dir_.file("register.sqlite"))) {
        testsupport::writeSqliteRegister(dir_.file("register.sqlite"), {}, persons);
        connection_.open();
    }

    data::InsuredList& list() { return list_; }

private:
    testsupport::TempDir dir_;
    testsupport::AliasFileScope aliases_;
    data::Connection connection_;
    data::InsuredList list_{connection_};
};

// The names in a folder, so that a test sees every file an export left behind, temporary ones included.
inline std::set<std::string> namesIn(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

} // namespace exporttest

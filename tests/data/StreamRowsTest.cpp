// Passing over a query's rows once, a batch at a time, over real SQLite registers.
#include "data/Connection.h"
#include "data/InsuredList.h"
#include "engine/Database.h"
#include "engine/EngineError.h"
#include "support/FixtureRegister.h"

#include <gtest/gtest.h>
#include <stdexcept>

using namespace testsupport;

namespace {

// 5,000 persons of doctor 1 (more than two batches), MB their number; the 4,321st with an invalid date.
class StreamRows : public ::testing::Test {
protected:
    void SetUp() override {
        std::vector<PersonRow> persons;
        for (int i = 1; i <= 5000; ++i)
            persons.push_back({std::to_string(i), "P", "T", "I", "1", "1", i % 2 == 0, false, "2020-01-02", {}});
        persons[4320].registrationDate = "2020-13-01";
        writeSqliteRegister(dir_.file("k.sqlite"), {{"1", "Lekar", "X"}}, persons);
        connection_.open();
    }

    // A cursor over every person in order, with a column that SQLite cannot work out from row `failing` on.
    std::unique_ptr<engine::Cursor> cursorFailingAt(int failing) {
        return connection_.database().execute(
            "SELECT *, CASE WHEN rowid >= " + std::to_string(failing) +
                " THEN abs(-9223372036854775807 - 1) ELSE 0 END AS x FROM Osigurenici ORDER BY rowid",
            {});
    }

    TempDir dir_;
    AliasFileScope aliases_{dir_.file("aliases.ini"), AliasFileScope::sqliteAlias(dir_.file("k.sqlite"))};
    data::Connection connection_;
    data::InsuredList list_{connection_};
};

} // namespace

TEST_F(StreamRows, EveryRowIsVisitedInOrderWithItsCalculatedFieldsAndAnUnreadableValueMarksItsRowOnly) {
    std::vector<std::string> numbers;
    std::vector<int> unreadable;
    int percentOf2 = 0;
    const auto cursor = cursorFailingAt(1000000);
    list_.streamRows(*cursor, [&](bool wholeRow) {
        numbers.emplace_back(list_.MB.asString());
        if (!wholeRow) {
            unreadable.push_back(static_cast<int>(numbers.size()));
            EXPECT_TRUE(list_.DATA_PRI.isNull());
            EXPECT_EQ(list_.BR_PRI.asString(), "1") << "the values after the unreadable one are read";
        }
        if (numbers.back() == "2")
            percentOf2 = list_.procent.asInteger();
    });
    ASSERT_EQ(numbers.size(), 5000u);
    for (std::size_t i = 0; i < numbers.size(); ++i)
        ASSERT_EQ(numbers[i], std::to_string(i + 1));
    EXPECT_EQ(unreadable, std::vector<int>{4321});
    EXPECT_EQ(percentOf2, 30);
    EXPECT_FALSE(list_.active());
}

TEST_F(StreamRows, AFailingReadOrVisitEndsThePassAfterTheRowsBeforeAndLeavesTheConnectionUsable) {
    int visited = 0;
    auto cursor = cursorFailingAt(4500);
    try {
        list_.streamRows(*cursor, [&](bool) { ++visited; });
        FAIL() << "the read's failure is passed on";
    } catch (const engine::EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("integer overflow"), std::string::npos) << e.what();
    }
    EXPECT_EQ(visited, 4499);
    EXPECT_FALSE(list_.active());

    // A visitor that gives up ends the pass wherever it is.
    visited = 0;
    cursor = cursorFailingAt(1000000);
    EXPECT_THROW(list_.streamRows(*cursor,
                                  [&](bool) {
                                      if (++visited == 3000)
                                          throw std::runtime_error("enough");
                                  }),
                 std::runtime_error);
    EXPECT_EQ(visited, 3000);
    EXPECT_FALSE(list_.active());
    cursor.reset();

    list_.reload("2");
    EXPECT_TRUE(list_.active());
    EXPECT_EQ(list_.recordCount(), 0);
}

#pragma once

#include "data/Field.h"
#include "data/RowStore.h"

#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace engine {
class Cursor;
class CodePage;
} // namespace engine

namespace data {

class Connection;

// A text that the engine's code page could not hold exactly and that the query holds transliterated (or with
// "?"): the row and field, the row's key as stored and the text as stored (both UTF-8).
struct TextLoss {
    int row = 0;
    std::size_t field = 0;
    std::string key;
    std::string stored;
};

// Someone who shows a query's rows: told when the rows are replaced and when the current row moves.
class QueryObserver {
public:
    virtual ~QueryObserver() = default;
    // The query is about to be opened or closed: every row may change. Each call is followed by exactly
    // one rowsReset(), also when the open fails; nothing may read the rows in between.
    virtual void rowsAboutToReset() = 0;
    // The rows have changed (the query was opened or closed, or failed to open and is closed).
    virtual void rowsReset() = 0;
    virtual void currentRowChanged(int row) = 0;
};

// A read-only SQL query with named, typed fields and a current row. Opening sends the statement to the
// engine, binds the result's columns to the fields by name (without regard to case; other columns are
// ignored), reads every row and works out the calculated fields of each row as it is read.
class Query {
public:
    Query(std::string name, Connection& connection);
    virtual ~Query();
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    const std::string& name() const { return name_; }

    // The statement text; parameter references are a colon and the parameter's name, outside quotes.
    void setSql(std::string text);
    const std::string& sql() const { return sql_; }

    // Fields in the order they are added. Names are kept as given. REQUIRES: the query is closed.
    Field& addField(std::string name, FieldKind kind, int size = 0);
    Field& addCalculatedField(std::string name, FieldKind kind);
    std::size_t fieldCount() const { return fields_.size(); }
    Field& field(std::size_t index) { return *fields_[index]; }
    const Field& field(std::size_t index) const { return *fields_[index]; }

    // Names the rows in messages: the table they come from and the field that identifies a row, so that a
    // value that cannot be read is reported as "<table>, <key field> <value>: ..." rather than anonymously.
    void setRowKey(std::string tableName, const Field& keyField);

    // Sets the string value of a parameter, found by name without regard to case. Throws
    // "<query>: Parameter '<name>' not found" when the statement has none of that name.
    void setParamString(std::string_view name, std::string value);

    // Called for every row as it is read, with the query standing on that row.
    std::function<void(Query&)> onCalcFields;

    // Runs the statement and reads every row. A table that another program wrote in place while it was read is
    // read again, up to three times; then the failure names the table and what changed.
    void open();
    void close();

    // Passes over the rows of `cursor` once instead of keeping them, for a reader that uses each row once:
    // `visit` runs for each row in order, with the query open and standing on that row (recNo();
    // textLossOf(recNo(), field) tells its texts the code page could not hold; the calculated fields worked
    // out). `visit` is told whether every value of the row could be read; when one could not (an invalid
    // date), it is null, the others are there and the calculated fields are not worked out. Only a batch of
    // rows is kept at a time; the rows before and after the current one are not to be read. The query is
    // closed afterwards, also when the cursor or `visit` throws. REQUIRES: the query is closed and the cursor
    // has the columns of the query's statement. Nothing else may use the database of the cursor, on any thread,
    // while the cursor lives (a cursor of Database::readInKeyOrder reads ahead on a thread of its own).
    void streamRows(engine::Cursor& cursor, const std::function<void(bool wholeRow)>& visit);
    bool active() const { return active_; }

    // Navigation. Every call other than active() and recordCount() on a closed query throws
    // "<query>: Cannot perform this operation on a closed dataset".
    void first();
    void next();
    void last();
    void moveTo(int row);
    bool eof() const;
    int recNo() const {
        if (!active_ || rows_->rowCount() == 0)
            failWithoutRow();
        return current_;
    }
    int recordCount() const;
    bool isEmpty() const { return recordCount() == 0; }

    // The texts of the open result that the code page could not hold exactly, in row order.
    const std::vector<TextLoss>& textLosses() const { return textLosses_; }
    // Whether a text of that row is not the stored text exactly.
    bool hasTextLoss(int row) const;
    // The loss of the field's value in that row; nullptr when the value is the stored text exactly.
    const TextLoss* textLossOf(int row, const Field& field) const;
    // The name of the code page the query's texts are in.
    const std::string& codePageName() const;
    // The loss as the month-end command reports it to the administrator: "Osigurenici, MB 0101990450001,
    // column IME: 'Hoxhë' is delivered as 'Hoxhe' (the code page windows-1251 cannot hold it)".
    std::string describe(const TextLoss& loss) const;
    // The loss as the support log carries it, without the person's identity number or the texts: "doctor A1,
    // Osigurenici, row 3 of the list, column IME: a text the code page windows-1251 cannot hold is shown and
    // exported transliterated".
    std::string describeForSupportLog(const TextLoss& loss) const;
    // Where a row of the open list is, for the support log: the table and the row's place in the list from 1
    // ("Osigurenici, row 3 of the list"); a list of one doctor's rows names the doctor in front.
    virtual std::string supportLogPlace(int row) const;

    void addObserver(QueryObserver* observer);
    void removeObserver(QueryObserver* observer);

    // Value access for fields and for views that read any row without moving the current one.
    const RowStore& rows() const { return *rows_; }
    RowStore& rows() { return *rows_; }

protected:
    Connection& connection() { return connection_; }
    // The code page of the open connection's texts.
    const engine::CodePage& codePage() const;

private:
    struct Binding;
    std::vector<Binding> bindColumns(const engine::Cursor& cursor) const;
    std::unique_ptr<engine::Cursor> execute();
    void readAllRows();
    void readRow(engine::Cursor& cursor, const std::vector<Binding>& bindings, RowStore& rows,
                 std::vector<TextLoss>& losses) const;
    void readValue(engine::Cursor& cursor, const Binding& binding, RowStore& rows, std::vector<TextLoss>& losses) const;
    bool readBatch(engine::Cursor& cursor, const std::vector<Binding>& bindings, std::vector<bool>& unreadable,
                   std::exception_ptr& failure);
    void nameTextLossesOfLastRow(engine::Cursor& cursor, const RowStore& rows, std::vector<TextLoss>& losses) const;
    void startReading();
    void stopReading();
    std::string rowPlace(engine::Cursor& cursor, int number) const;
    void requireActive() const;
    [[noreturn]] void failWithoutRow() const;
    std::vector<TextLoss>::const_iterator firstLossFrom(int row) const;
    void setCurrentRow(int row);
    void notifyAboutToReset();
    void notifyReset();

    std::string name_;
    Connection& connection_;
    std::string sql_;
    std::vector<std::string> paramNames_;
    std::vector<std::string> paramValues_;
    std::vector<std::unique_ptr<Field>> fields_;
    std::unique_ptr<RowStore> rows_;
    std::vector<TextLoss> textLosses_;
    std::string tableName_;
    std::optional<std::size_t> keyField_;
    bool active_ = false;
    bool eof_ = true;
    int current_ = 0;
    std::vector<QueryObserver*> observers_;
};

} // namespace data

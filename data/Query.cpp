#include "data/Query.h"

#include "data/Connection.h"
#include "data/DataError.h"
#include "data/RowStore.h"
#include "engine/EngineError.h"
#include "engine/SqlDialect.h"
#include "engine/Text.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <thread>

namespace data {
namespace {

bool columnSuits(FieldKind field, engine::ColumnType column) {
    using engine::ColumnType;
    if (column == ColumnType::Unknown)
        return true;
    switch (field) {
    case FieldKind::String:
        return column == ColumnType::String;
    case FieldKind::Boolean:
        return column == ColumnType::Boolean;
    case FieldKind::Date:
        return column == ColumnType::Date;
    case FieldKind::Integer:
        return column == ColumnType::Integer;
    }
    return false;
}

} // namespace

Query::Query(std::string name, Connection& connection)
    : name_(std::move(name)), connection_(connection), rows_(std::make_unique<RowStore>(std::vector<FieldKind>{})) {}

Query::~Query() = default;

void Query::setSql(std::string text) {
    if (active_)
        close();
    sql_ = std::move(text);
    std::vector<std::string> names;
    for (const auto& name : engine::toPositionalParameters(sql_).parameterNames)
        if (std::none_of(names.begin(), names.end(), [&](const auto& n) { return engine::equalsIgnoreCase(n, name); }))
            names.push_back(name);
    paramNames_ = std::move(names);
    paramValues_.assign(paramNames_.size(), std::string());
}

Field& Query::addField(std::string name, FieldKind kind, int size) {
    fields_.push_back(std::make_unique<Field>(*this, fields_.size(), std::move(name), kind, size, false));
    return *fields_.back();
}

Field& Query::addCalculatedField(std::string name, FieldKind kind) {
    fields_.push_back(std::make_unique<Field>(*this, fields_.size(), std::move(name), kind, 0, true));
    return *fields_.back();
}

void Query::setParamString(std::string_view name, std::string value) {
    for (std::size_t i = 0; i < paramNames_.size(); ++i) {
        if (engine::equalsIgnoreCase(paramNames_[i], name)) {
            paramValues_[i] = std::move(value);
            return;
        }
    }
    throw DataError(name_, "Parameter '" + std::string(name) + "' not found");
}

struct Query::Binding {
    std::size_t field;
    std::size_t column;
    FieldKind kind;
};

// Binds each stored field to the result column of its name, without regard to case.
std::vector<Query::Binding> Query::bindColumns(const engine::Cursor& cursor) const {
    std::vector<Binding> bindings;
    const auto& columns = cursor.columns();
    for (const auto& field : fields_) {
        if (field->calculated())
            continue;
        const auto column = std::find_if(columns.begin(), columns.end(), [&](const engine::ColumnInfo& c) {
            return engine::equalsIgnoreCase(c.name, field->fieldName());
        });
        if (column == columns.end())
            throw DataError(name_, "Field '" + field->fieldName() + "' not found");
        if (!columnSuits(field->kind(), column->type))
            throw DataError(name_, "Type mismatch for field '" + field->fieldName() +
                                       "', expecting: " + fieldKindName(field->kind()) +
                                       " actual: " + engine::columnTypeName(column->type));
        bindings.push_back(Binding{field->index(), static_cast<std::size_t>(column - columns.begin()), field->kind()});
    }
    return bindings;
}

// Reads the cursor's current row into the last row of the store, noting every text the code page could not
// hold exactly. Throws EngineError at the first value that cannot be read.
void Query::readRow(engine::Cursor& cursor, const std::vector<Binding>& bindings, RowStore& rows,
                    std::vector<TextLoss>& losses) const {
    for (const Binding& b : bindings)
        readValue(cursor, b, rows, losses);
}

void Query::readValue(engine::Cursor& cursor, const Binding& b, RowStore& rows, std::vector<TextLoss>& losses) const {
    if (cursor.isBlank(b.column))
        return;
    switch (b.kind) {
    case FieldKind::String:
        rows.setString(b.field, cursor.text(b.column));
        if (!cursor.textIsExact(b.column))
            losses.push_back(TextLoss{rows.rowCount() - 1, b.field, std::string(), cursor.storedText(b.column)});
        break;
    case FieldKind::Boolean:
        rows.setBoolean(b.field, cursor.boolean(b.column));
        break;
    case FieldKind::Date:
        rows.setDate(b.field, cursor.date(b.column));
        break;
    case FieldKind::Integer:
        rows.setInteger(rows.rowCount() - 1, b.field, static_cast<std::int32_t>(cursor.integer(b.column)));
        break;
    }
}

// Names the losses of the store's last row by the row's key.
void Query::nameTextLossesOfLastRow(engine::Cursor& cursor, const RowStore& rows, std::vector<TextLoss>& losses) const {
    if (!keyField_)
        return;
    for (auto loss = losses.rbegin(); loss != losses.rend() && loss->row == rows.rowCount() - 1; ++loss)
        loss->key = rowPlace(cursor, rows.rowCount());
}

// Where the cursor's current row, the list's row `number` (from 1), is, for a message: "Osigurenici, MB
// 0101990450001", or the row's number when the query has no key (or the key is blank).
std::string Query::rowPlace(engine::Cursor& cursor, int number) const {
    const std::string place = "row " + std::to_string(number);
    if (!keyField_)
        return place;
    const auto& columns = cursor.columns();
    const std::string& keyName = fields_[*keyField_]->fieldName();
    const auto column = std::find_if(columns.begin(), columns.end(), [&](const engine::ColumnInfo& c) {
        return engine::equalsIgnoreCase(c.name, keyName);
    });
    const auto index = static_cast<std::size_t>(column - columns.begin());
    if (column == columns.end() || cursor.isBlank(index))
        return tableName_ + ", " + place + " (" + keyName + " blank)";
    return tableName_ + ", " + keyName + " " + cursor.storedText(index);
}

namespace {

// Reads of a list whose table another program writes during each of them, before that is the list's failure,
// and the pause before the next read, which grows with each: a writer's burst of writes is over by then.
constexpr int kReadAttempts = 3;
constexpr std::chrono::milliseconds kPauseBeforeReadingAgain{100};

} // namespace

void Query::open() {
    if (active_)
        return;
    // A table written in place by its owner while it was read (ChangedWhileRead) is read again.
    for (int attempt = 1;; ++attempt) {
        try {
            readAllRows();
            return;
        } catch (const engine::ChangedWhileRead& e) {
            if (attempt == kReadAttempts)
                throw engine::EngineError(std::string(e.what()) + "; it changed during each of " +
                                          std::to_string(kReadAttempts) +
                                          " reads. Try again once the program writing it is done");
        }
        std::this_thread::sleep_for(kPauseBeforeReadingAgain * attempt);
    }
}

void Query::readAllRows() {
    const auto cursor = execute();
    const std::vector<Binding> bindings = bindColumns(*cursor);
    startReading();
    try {
        while (cursor->next()) {
            rows_->appendRow();
            try {
                readRow(*cursor, bindings, *rows_, textLosses_);
            } catch (const engine::EngineError& e) {
                // The engine names the column and what is wrong with its value; neither is a name or an MB.
                throw DataError(name_, rowPlace(*cursor, rows_->rowCount()) + ": " + e.what(),
                                supportLogPlace(rows_->rowCount() - 1) + ": " + e.what());
            }
            nameTextLossesOfLastRow(*cursor, *rows_, textLosses_);
            if (onCalcFields) {
                current_ = rows_->rowCount() - 1;
                onCalcFields(*this);
            }
        }
    } catch (...) {
        stopReading();
        throw;
    }
    current_ = 0;
    eof_ = rows_->rowCount() == 0;
    notifyReset();
}

void Query::streamRows(engine::Cursor& cursor, const std::function<void(bool wholeRow)>& visit) {
    const std::vector<Binding> bindings = bindColumns(cursor);
    std::vector<bool> unreadable;
    std::exception_ptr failure;
    startReading();
    try {
        eof_ = false;
        for (bool more = true; more;) {
            more = readBatch(cursor, bindings, unreadable, failure);
            for (int row = 0; row < rows_->rowCount(); ++row) {
                current_ = row;
                const bool whole = !unreadable[static_cast<std::size_t>(row)];
                if (whole && onCalcFields)
                    onCalcFields(*this);
                visit(whole);
            }
        }
        // The rows read before the cursor failed were visited first.
        if (failure)
            std::rethrow_exception(failure);
    } catch (...) {
        stopReading();
        throw;
    }
    stopReading();
}

// Replaces the rows by the next batch of the cursor's rows: clearing the store once per batch costs less than
// once per row. Every value of a row is read, also after one that cannot be: the reader may want the others.
// Returns false after the last row, or when the cursor failed (`failure`, after the rows read before).
bool Query::readBatch(engine::Cursor& cursor, const std::vector<Binding>& bindings, std::vector<bool>& unreadable,
                      std::exception_ptr& failure) {
    constexpr int kBatchRows = 1024;
    rows_->clear();
    textLosses_.clear();
    unreadable.clear();
    while (rows_->rowCount() < kBatchRows) {
        try {
            if (!cursor.next())
                return false;
        } catch (...) {
            failure = std::current_exception();
            return false;
        }
        rows_->appendRow();
        bool whole = true;
        for (const Binding& b : bindings) {
            try {
                readValue(cursor, b, *rows_, textLosses_);
            } catch (const engine::EngineError&) {
                whole = false;
            }
        }
        nameTextLossesOfLastRow(cursor, *rows_, textLosses_);
        unreadable.push_back(!whole);
    }
    return true;
}

// Sends the statement with the parameters' values to the engine.
std::unique_ptr<engine::Cursor> Query::execute() {
    const engine::PositionalStatement statement = engine::toPositionalParameters(sql_);
    std::vector<std::string> values;
    for (const auto& reference : statement.parameterNames) {
        const auto it = std::find_if(paramNames_.begin(), paramNames_.end(),
                                     [&](const auto& n) { return engine::equalsIgnoreCase(n, reference); });
        values.push_back(paramValues_[static_cast<std::size_t>(it - paramNames_.begin())]);
    }
    return connection_.database().execute(statement.sql, values);
}

// Replaces the rows by an empty store that rows are read into; the query counts as open while rows are read,
// so the calculation handler can use the fields.
void Query::startReading() {
    std::vector<FieldKind> kinds;
    for (const auto& field : fields_)
        kinds.push_back(field->kind());
    notifyAboutToReset();
    rows_ = std::make_unique<RowStore>(kinds);
    textLosses_.clear();
    current_ = 0;
    active_ = true;
}

// Closes the query after reading stopped, whether it failed or passed over rows it does not keep.
void Query::stopReading() {
    active_ = false;
    rows_ = std::make_unique<RowStore>(std::vector<FieldKind>{});
    textLosses_.clear();
    current_ = 0;
    eof_ = true;
    notifyReset();
}

void Query::setRowKey(std::string tableName, const Field& keyField) {
    tableName_ = std::move(tableName);
    keyField_ = keyField.index();
}

// The first loss of the row or a later one; losses are few and in row order.
std::vector<TextLoss>::const_iterator Query::firstLossFrom(int row) const {
    return std::lower_bound(textLosses_.begin(), textLosses_.end(), row,
                            [](const TextLoss& loss, int r) { return loss.row < r; });
}

bool Query::hasTextLoss(int row) const {
    const auto first = firstLossFrom(row);
    return first != textLosses_.end() && first->row == row;
}

const TextLoss* Query::textLossOf(int row, const Field& field) const {
    for (auto it = firstLossFrom(row); it != textLosses_.end() && it->row == row; ++it)
        if (it->field == field.index())
            return &*it;
    return nullptr;
}

const engine::CodePage& Query::codePage() const { return connection_.codePage(); }

const std::string& Query::codePageName() const { return codePage().name(); }

std::string Query::describe(const TextLoss& loss) const {
    const engine::CodePage& codePage = connection_.codePage();
    const std::string delivered = codePage.toUtf8(rows_->string(loss.row, loss.field));
    const std::string place = loss.key.empty() ? "row " + std::to_string(loss.row + 1) : loss.key;
    return place + ", column " + fields_[loss.field]->fieldName() + ": '" + loss.stored + "' is delivered as '" +
           delivered + "' (the code page " + codePage.name() + " cannot hold it)";
}

std::string Query::describeForSupportLog(const TextLoss& loss) const {
    return supportLogPlace(loss.row) + ", column " + fields_[loss.field]->fieldName() + ": a text the code page " +
           codePageName() + " cannot hold is shown and exported transliterated";
}

std::string Query::supportLogPlace(int row) const {
    return (tableName_.empty() ? name_ : tableName_) + ", row " + std::to_string(row + 1) + " of the list";
}

void Query::close() {
    if (!active_)
        return;
    notifyAboutToReset();
    stopReading();
}

void Query::requireActive() const {
    if (!active_)
        throw DataError(name_, "Cannot perform this operation on a closed dataset");
}

void Query::first() {
    requireActive();
    eof_ = rows_->rowCount() == 0;
    setCurrentRow(0);
}

void Query::next() {
    requireActive();
    if (current_ + 1 < rows_->rowCount())
        setCurrentRow(current_ + 1);
    else
        eof_ = true;
}

void Query::last() {
    requireActive();
    eof_ = true;
    setCurrentRow(std::max(0, rows_->rowCount() - 1));
}

void Query::moveTo(int row) {
    requireActive();
    if (rows_->rowCount() == 0)
        return;
    eof_ = false;
    setCurrentRow(std::clamp(row, 0, rows_->rowCount() - 1));
}

bool Query::eof() const {
    requireActive();
    return eof_;
}

void Query::failWithoutRow() const {
    requireActive();
    throw DataError(name_, "Cannot perform this operation on an empty dataset");
}

int Query::recordCount() const { return active_ ? rows_->rowCount() : 0; }

void Query::setCurrentRow(int row) {
    if (row == current_)
        return;
    current_ = row;
    for (auto* observer : observers_)
        observer->currentRowChanged(row);
}

void Query::notifyAboutToReset() {
    for (auto* observer : observers_)
        observer->rowsAboutToReset();
}

void Query::notifyReset() {
    for (auto* observer : observers_)
        observer->rowsReset();
}

void Query::addObserver(QueryObserver* observer) { observers_.push_back(observer); }

void Query::removeObserver(QueryObserver* observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

} // namespace data

#include "engine/PostgresCopyCursor.h"

#include "engine/EngineError.h"

#include <cstdlib>

namespace engine {
namespace {

// The character a backslash and this letter stand for in COPY's text format.
char unescaped(char letter) {
    switch (letter) {
    case 'b':
        return '\b';
    case 'f':
        return '\f';
    case 'n':
        return '\n';
    case 'r':
        return '\r';
    case 't':
        return '\t';
    case 'v':
        return '\v';
    default:
        return letter; // a backslash, or any other character standing for itself
    }
}

bool isOctal(char c) { return c >= '0' && c <= '7'; }

} // namespace

PostgresCopyCursor::PostgresCopyCursor(std::shared_ptr<PostgresSession> session, std::vector<ColumnInfo> columns,
                                       const CodePage& codePage)
    : session_(std::move(session)), statement_(session_->statementNumber()), columns_(std::move(columns)),
      texts_(codePage, columns_.size()), starts_(columns_.size() + 1, 0), blank_(columns_.size()) {}

bool PostgresCopyCursor::next() {
    if (done_ || session_->statementNumber() != statement_) {
        done_ = true;
        return false;
    }
    const std::optional<std::string_view> row = session_->nextCopyRow();
    if (!row) {
        done_ = true;
        return false;
    }
    ++rows_;
    decode(*row);
    return true;
}

void PostgresCopyCursor::decode(std::string_view row) {
    if (!row.empty() && row.back() == '\n')
        row.remove_suffix(1);
    values_.clear();
    std::size_t column = 0;
    bool nullMarker = false; // the value is \N, which stands for NULL
    const auto endValue = [&] {
        if (column >= columns_.size())
            throw EngineError("The PostgreSQL database " + session_->name() + " sent row " + std::to_string(rows_) +
                              " of the copy with more than its " + std::to_string(columns_.size()) + " columns");
        blank_[column] = nullMarker;
        nullMarker = false;
        values_ += '\0';
        starts_[++column] = values_.size();
    };
    for (std::size_t i = 0; i <= row.size(); ++i) {
        if (i == row.size() || row[i] == '\t') {
            endValue();
            continue;
        }
        if (row[i] != '\\' || i + 1 == row.size()) {
            values_ += row[i];
            continue;
        }
        const char letter = row[++i];
        if (letter == 'N' && values_.size() == starts_[column] && (i + 1 == row.size() || row[i + 1] == '\t')) {
            nullMarker = true;
        } else if (isOctal(letter)) {
            int value = letter - '0';
            for (int digits = 1; digits < 3 && i + 1 < row.size() && isOctal(row[i + 1]); ++digits)
                value = value * 8 + (row[++i] - '0');
            values_ += static_cast<char>(value);
        } else {
            values_ += unescaped(letter);
        }
    }
    if (column != columns_.size())
        throw EngineError("The PostgreSQL database " + session_->name() + " sent row " + std::to_string(rows_) +
                          " of the copy with " + std::to_string(column) + " of its " + std::to_string(columns_.size()) +
                          " columns");
}

std::int64_t PostgresCopyCursor::integer(std::size_t column) {
    return std::strtoll(values_.c_str() + starts_[column], nullptr, 10);
}

} // namespace engine

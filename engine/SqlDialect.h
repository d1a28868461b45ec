#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace engine {

// A statement whose parameter references (":name" outside quotes) were replaced by "?", with the
// parameters' names in the order of their references.
struct PositionalStatement {
    std::string sql;
    std::vector<std::string> parameterNames;
};

// Replaces each ":name" outside quotes by "?". A "::" is left alone.
PositionalStatement toPositionalParameters(std::string_view text);

// Numbers the "?" parameters outside quotes as PostgreSQL wants them: "$1", "$2", ...
std::string toNumberedParameters(std::string_view sql);

// The engine's SQL as the desktop engine wrote it, in the dialect of SQLite and PostgreSQL: a "+" in a chain
// of simple operands that holds a string literal joins strings and becomes "||" (pre+' '+ime); every
// other "+" stays an addition. Quoted text is never touched.
std::string toStandardSql(std::string_view sql);

} // namespace engine

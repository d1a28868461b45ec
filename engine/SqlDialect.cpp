#include "engine/SqlDialect.h"

#include "engine/Text.h"

#include <string>

namespace engine {
namespace {

enum class TokenKind { Space, Word, StringLiteral, QuotedName, Plus, Other };

struct Token {
    TokenKind kind;
    std::string_view text;
};

bool isWordChar(char c) { return isAsciiLetter(c) || isAsciiDigit(c) || c == '_' || c == '$' || c == '.'; }

// Splits SQL into tokens that, joined, give the text back unchanged.
std::vector<Token> tokenize(std::string_view sql) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < sql.size()) {
        const std::size_t start = i;
        const char c = sql[i];
        TokenKind kind = TokenKind::Other;
        if (isAsciiSpace(c)) {
            while (i < sql.size() && isAsciiSpace(sql[i]))
                ++i;
            kind = TokenKind::Space;
        } else if (c == '\'' || c == '"') {
            // A doubled quote inside quoted text stands for the quote itself.
            ++i;
            while (i < sql.size()) {
                if (sql[i] == c) {
                    if (i + 1 < sql.size() && sql[i + 1] == c) {
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                ++i;
            }
            kind = c == '\'' ? TokenKind::StringLiteral : TokenKind::QuotedName;
        } else if (isWordChar(c)) {
            while (i < sql.size() && isWordChar(sql[i]))
                ++i;
            kind = TokenKind::Word;
        } else {
            ++i;
            kind = c == '+' ? TokenKind::Plus : TokenKind::Other;
        }
        tokens.push_back(Token{kind, sql.substr(start, i - start)});
    }
    return tokens;
}

bool isOperand(const Token& t) {
    return t.kind == TokenKind::Word || t.kind == TokenKind::StringLiteral || t.kind == TokenKind::QuotedName;
}

bool startsName(char c) { return isAsciiLetter(c) || c == '_'; }
bool continuesName(char c) { return isAsciiLetter(c) || isAsciiDigit(c) || c == '_'; }

} // namespace

PositionalStatement toPositionalParameters(std::string_view text) {
    const std::vector<Token> tokens = tokenize(text);
    PositionalStatement out;
    out.sql.reserve(text.size());
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const bool colon = tokens[i].text == ":";
        const bool next = i + 1 < tokens.size();
        if (colon && next && tokens[i + 1].text == ":") { // a cast, "::"
            out.sql += "::";
            ++i;
            continue;
        }
        if (colon && next && tokens[i + 1].kind == TokenKind::Word && startsName(tokens[i + 1].text[0])) {
            const std::string_view word = tokens[i + 1].text;
            std::size_t end = 1;
            while (end < word.size() && continuesName(word[end]))
                ++end;
            out.parameterNames.emplace_back(word.substr(0, end));
            out.sql += '?';
            out.sql += word.substr(end);
            ++i;
            continue;
        }
        out.sql += tokens[i].text;
    }
    return out;
}

std::string toNumberedParameters(std::string_view sql) {
    std::string out;
    out.reserve(sql.size() + 8);
    int number = 0;
    for (const Token& token : tokenize(sql))
        out += token.text == "?" ? "$" + std::to_string(++number) : std::string(token.text);
    return out;
}

std::string toStandardSql(std::string_view sql) {
    const std::vector<Token> tokens = tokenize(sql);
    // Indices of non-space tokens, so neighbours are found across white space.
    std::vector<std::size_t> solid;
    for (std::size_t i = 0; i < tokens.size(); ++i)
        if (tokens[i].kind != TokenKind::Space)
            solid.push_back(i);

    std::vector<bool> joinsStrings(tokens.size(), false);
    // Walk chains "operand + operand + ...": when any operand is a string literal, every "+" joins strings.
    for (std::size_t s = 0; s < solid.size();) {
        if (!isOperand(tokens[solid[s]])) {
            ++s;
            continue;
        }
        std::size_t end = s;
        bool hasLiteral = tokens[solid[s]].kind == TokenKind::StringLiteral;
        while (end + 2 < solid.size() && tokens[solid[end + 1]].kind == TokenKind::Plus &&
               isOperand(tokens[solid[end + 2]])) {
            end += 2;
            hasLiteral = hasLiteral || tokens[solid[end]].kind == TokenKind::StringLiteral;
        }
        if (hasLiteral)
            for (std::size_t k = s + 1; k < end; k += 2)
                joinsStrings[solid[k]] = true;
        s = end + 1;
    }

    std::string out;
    out.reserve(sql.size() + 8);
    for (std::size_t i = 0; i < tokens.size(); ++i)
        out += joinsStrings[i] ? std::string_view("||") : tokens[i].text;
    return out;
}

} // namespace engine

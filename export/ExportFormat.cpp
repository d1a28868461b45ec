#include "export/ExportFormat.h"

#include "data/DateText.h"
#include "export/Dodaj.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>

namespace exportfile {
namespace {

struct Column {
    int width;
    std::string_view title;
};

// The eight columns of an export file in the order they are written. The reading system finds every value by
// its position, so widths and order are fixed; a line whose values all fit is 118 characters long.
constexpr std::array<Column, 8> kColumns{{
    {10, "FAKSIMIL"},
    {15, "EMBG"},
    {20, "IME"},
    {20, "TIME"},
    {20, "PRE"},
    {12, "DATUM PR."},
    {12, "BROJ PR."},
    {9, "PROCENT"},
}};

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kBlankLine = " \r\n";

// Lines are gathered until the buffer holds this much and then handed to the output in one write. Large
// enough that a register of 100,000 persons needs a few hundred writes, small enough to stay in cache.
constexpr std::size_t kChunkSize = 64 * 1024;
constexpr std::size_t kLongestUsualLine = 256;

} // namespace

std::string titleLine() {
    std::string line;
    for (const Column& column : kColumns)
        appendDodaj(line, column.width, column.title);
    line.append(kLineEnd);
    return line;
}

// Dates kept by ExportLines: some 44 years of days each in a place of its own.
constexpr std::size_t kKnownDates = 16384;

ExportLines::ExportLines(const data::RegionalSettings& settings) : settings_(settings), dates_(kKnownDates) {}

std::string_view ExportLines::dateText(engine::DayNumber day) {
    KnownDate& known = dates_[static_cast<std::size_t>(static_cast<std::uint32_t>(day)) % kKnownDates];
    if (!known.known || known.day != day) {
        known.text = data::dateText(settings_, day);
        known.day = day;
        known.known = true;
    }
    return known.text;
}

void ExportLines::appendHead(std::string& out) {
    out.append(titleLine());
    out.append(kBlankLine);
}

// The doctor code, identity number, first name, father's name, surname, registration date, registration number
// and percentage, each right-aligned in its column, then CR LF. An empty registration date is written as the
// first day of the date count (30 December 1899). Formatting a date is the costliest step of a line, so the
// texts of the dates are kept.
void ExportLines::appendRow(std::string& out, const data::InsuredList& list) {
    const engine::DayNumber registered = list.DATA_PRI.isNull() ? engine::kDayZeroOfDateCount : list.DATA_PRI.asDate();

    char percent[16];
    const auto converted = std::to_chars(std::begin(percent), std::end(percent), list.procent.asInteger());

    const std::array<std::string_view, kColumns.size()> values{
        list.LEKAR_S.asString(), list.MB.asString(),
        list.IME.asString(),     list.TIME.asString(),
        list.PRE.asString(),     dateText(registered),
        list.BR_PRI.asString(),  std::string_view(percent, static_cast<std::size_t>(converted.ptr - percent))};
    // Dodaj for each column, written in place: the line's length is known before the first byte.
    std::size_t length = kLineEnd.size();
    for (std::size_t c = 0; c < kColumns.size(); ++c)
        length += std::max(static_cast<std::size_t>(kColumns[c].width), values[c].size());
    std::size_t at = out.size();
    out.resize(at + length);
    for (std::size_t c = 0; c < kColumns.size(); ++c) {
        const std::size_t width = static_cast<std::size_t>(kColumns[c].width);
        if (values[c].size() < width) {
            std::memset(out.data() + at, ' ', width - values[c].size());
            at += width - values[c].size();
        }
        std::memcpy(out.data() + at, values[c].data(), values[c].size());
        at += values[c].size();
    }
    std::memcpy(out.data() + at, kLineEnd.data(), kLineEnd.size());
}

void writeExport(data::InsuredList& list, const data::RegionalSettings& settings, ExportOutput& output) {
    std::string buffer;
    buffer.reserve(kChunkSize + kLongestUsualLine);
    ExportLines::appendHead(buffer);

    ExportLines lines(settings);
    list.first();
    while (!list.eof()) {
        lines.appendRow(buffer, list);
        if (buffer.size() >= kChunkSize) {
            output.write(buffer);
            buffer.clear();
        }
        list.next();
    }
    if (!buffer.empty())
        output.write(buffer);
}

} // namespace exportfile

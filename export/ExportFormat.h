#pragma once

#include "data/InsuredList.h"
#include "data/RegionalSettings.h"

#include <string>
#include <string_view>
#include <vector>

namespace exportfile {

// Where the bytes of an export go. The format hands them over in large chunks, in order; an output that
// cannot take a chunk throws, and the export stops there.
class ExportOutput {
public:
    virtual ~ExportOutput() = default;
    virtual void write(std::string_view bytes) = 0;
};

// The first line of an export file: the eight column titles right-aligned in their columns, then CR LF.
std::string titleLine();

// The lines of export files, one at a time, for writers that build many files at once. Keeps the texts of the
// registration dates it formatted: a register's persons were registered on a few thousand days.
class ExportLines {
public:
    explicit ExportLines(const data::RegionalSettings& settings);
    ExportLines(const ExportLines&) = delete;
    ExportLines& operator=(const ExportLines&) = delete;

    // Appends the title line and the line holding one blank: what a file holds before its first row.
    static void appendHead(std::string& out);
    // Appends the data line of the list's current row. REQUIRES: the list is open and not empty.
    void appendRow(std::string& out, const data::InsuredList& list);

private:
    std::string_view dateText(engine::DayNumber day);

    struct KnownDate {
        engine::DayNumber day = 0;
        bool known = false;
        std::string text;
    };

    const data::RegionalSettings& settings_;
    std::vector<KnownDate> dates_; // by day number, modulo its size
};

// Writes a whole export file to `output`: the title line, a line holding one blank, then one data line per
// row of the list from its first to its last. The walk moves the list's current row, which afterwards stands
// on the last row. Failures of the list (a closed list throws on first()) and of the output are not caught.
void writeExport(data::InsuredList& list, const data::RegionalSettings& settings, ExportOutput& output);

} // namespace exportfile

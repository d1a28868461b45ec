#pragma once

// A small writer of Paradox data tables for tests and the benchmark: the table versions and block layouts
// pxlib cannot write (versions 3 and 4, any block size, partly filled blocks), and tables of millions of rows
// written quickly. Records are built with the encoders below and appended in order; blocks are chained in file
// order. Tests that need a damaged file patch the bytes afterwards (patchFile).

#include "engine/Date.h"
#include "engine/ParadoxCipher.h"
#include "engine/ParadoxTable.h"
#include "engine/RegisterSchema.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

struct WriterField {
    std::string name;
    engine::ParadoxFieldType type = engine::ParadoxFieldType::Alpha;
    std::uint8_t size = 0; // the header's size byte (BCD: digits after the point)
};

// The fields of a Paradox table holding the register's table `table`, as a desk's tables lay them out: an Alpha
// field as wide as the column's Paradox width, a Logical or a Date field.
inline std::vector<WriterField> registerFields(const engine::RegisterTable& table) {
    std::vector<WriterField> fields;
    for (const auto& column : table.columns) {
        switch (column.kind) {
        case engine::ColumnKind::Text:
            fields.push_back({std::string(column.name), engine::ParadoxFieldType::Alpha,
                              static_cast<std::uint8_t>(column.paradoxWidth)});
            break;
        case engine::ColumnKind::Boolean:
            fields.push_back({std::string(column.name), engine::ParadoxFieldType::Logical, 1});
            break;
        case engine::ColumnKind::Date:
            fields.push_back({std::string(column.name), engine::ParadoxFieldType::Date, 4});
            break;
        }
    }
    return fields;
}

struct WriterOptions {
    int versionId = 12;              // 3/4: version 3.x, 5..9: 4.x, 10/11: 5.x, 12: 7.x
    int blockSizeCode = 4;           // kilobytes per block
    int codePage = 1251;             // recorded from version 4 on; 0 records none
    std::size_t recordsPerBlock = 0; // 0: as many as fit
    std::string password = {};       // protects the table when not empty
};

class ParadoxTestWriter {
public:
    static constexpr std::size_t kHeaderSize = 0x800;

    ParadoxTestWriter(const std::string& path, std::vector<WriterField> fields, WriterOptions options = {})
        : fields_(std::move(fields)), options_(options), out_(path, std::ios::binary | std::ios::trunc) {
        if (!out_)
            throw std::runtime_error("cannot write " + path);
        for (const auto& field : fields_) {
            offsets_.push_back(recordSize_);
            recordSize_ += widthOf(field);
        }
        blockSize_ = static_cast<std::size_t>(options_.blockSizeCode) * 1024;
        perBlock_ = (blockSize_ - 6) / recordSize_;
        if (options_.recordsPerBlock != 0)
            perBlock_ = std::min(perBlock_, options_.recordsPerBlock);
        out_.write(std::string(kHeaderSize, '\0').data(), kHeaderSize);
    }
    ~ParadoxTestWriter() {
        try {
            if (!finished_)
                finish();
        } catch (const std::exception&) {
            // A test that did not call finish() learns of the failure from the file it reads.
        }
    }
    ParadoxTestWriter(const ParadoxTestWriter&) = delete;
    ParadoxTestWriter& operator=(const ParadoxTestWriter&) = delete;

    std::size_t recordSize() const { return recordSize_; }
    std::string blankRecord() const { return std::string(recordSize_, '\0'); }

    // Encoders: each writes one field of a record as the table stores it.
    void alpha(std::string& record, std::size_t field, std::string_view bytes) const {
        std::memcpy(record.data() + offsets_[field], bytes.data(),
                    std::min<std::size_t>(bytes.size(), widthOf(fields_[field])));
    }
    void logical(std::string& record, std::size_t field, bool value) const {
        record[offsets_[field]] = static_cast<char>(value ? 0x81 : 0x80);
    }
    void shortInt(std::string& record, std::size_t field, std::int16_t value) const {
        putBigEndian(record, field, static_cast<std::uint16_t>(value) ^ 0x8000u, 2);
    }
    void longInt(std::string& record, std::size_t field, std::int32_t value) const {
        putBigEndian(record, field, static_cast<std::uint32_t>(value) ^ 0x8000'0000u, 4);
    }
    void date(std::string& record, std::size_t field, engine::DayNumber day) const { longInt(record, field, day); }
    void number(std::string& record, std::size_t field, double value) const {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        constexpr std::uint64_t sign = std::uint64_t{1} << 63;
        bits = (bits & sign) != 0 ? ~bits : bits | sign;
        putBigEndian(record, field, bits, 8);
    }

    void append(const std::string& record) {
        if (record.size() != recordSize_)
            throw std::logic_error("record of the wrong size");
        if (block_.empty() || inBlock_ == perBlock_)
            flushBlock(true);
        std::memcpy(block_.data() + 6 + inBlock_ * recordSize_, record.data(), recordSize_);
        ++inBlock_;
        ++records_;
    }

    // Writes the last block and the header. Called by the destructor when not called before.
    void finish() {
        flushBlock(false);
        finished_ = true;
        std::string header(kHeaderSize, '\0');
        const bool extended = options_.versionId >= 5;
        put16(header, 0x00, recordSize_);
        put16(header, 0x02, kHeaderSize);
        header[0x04] = 2; // a table without a primary key
        header[0x05] = static_cast<char>(options_.blockSizeCode);
        put32(header, 0x06, records_);
        put16(header, 0x0A, blocks_);
        put16(header, 0x0C, blocks_);
        put16(header, 0x0E, blocks_ > 0 ? 1 : 0);
        put16(header, 0x10, blocks_);
        put16(header, 0x21, fields_.size());
        const std::uint32_t checkValue = engine::paradoxCheckValue(options_.password);
        put32(header, 0x25, extended ? 0xFF00FF00u : checkValue);
        if (extended)
            put32(header, 0x5C, checkValue);
        header[0x39] = static_cast<char>(options_.versionId);
        std::size_t at = extended ? 0x78 : 0x58;
        if (extended) {
            put16(header, 0x58, 0x0100 + options_.versionId);
            put16(header, 0x5A, 0x0100 + options_.versionId);
            put16(header, 0x6A, static_cast<std::size_t>(options_.codePage));
        }
        for (const auto& field : fields_) {
            header[at++] = static_cast<char>(field.type);
            header[at++] = static_cast<char>(field.size);
        }
        at += 4 + 4 * fields_.size() + (options_.versionId >= 12 ? 261 : 79);
        for (const auto& field : fields_) {
            header.replace(at, field.name.size(), field.name);
            at += field.name.size() + 1;
        }
        out_.seekp(0);
        out_.write(header.data(), static_cast<std::streamsize>(header.size()));
        out_.close();
        if (!out_)
            throw std::runtime_error("cannot write a table");
    }

private:
    static std::size_t widthOf(const WriterField& field) {
        return field.type == engine::ParadoxFieldType::Bcd ? 17 : field.size;
    }
    static void put16(std::string& bytes, std::size_t at, std::size_t value) {
        bytes[at] = static_cast<char>(value & 0xFF);
        bytes[at + 1] = static_cast<char>((value >> 8) & 0xFF);
    }
    static void put32(std::string& bytes, std::size_t at, std::size_t value) {
        put16(bytes, at, value & 0xFFFF);
        put16(bytes, at + 2, (value >> 16) & 0xFFFF);
    }
    void putBigEndian(std::string& record, std::size_t field, std::uint64_t value, std::size_t length) const {
        for (std::size_t i = 0; i < length; ++i)
            record[offsets_[field] + i] = static_cast<char>((value >> (8 * (length - 1 - i))) & 0xFF);
    }

    // Writes the block being filled, if any, linked to the next one when another follows.
    void flushBlock(bool another) {
        if (!block_.empty()) {
            put16(block_, 0, another ? blocks_ + 1 : 0);
            put16(block_, 2, blocks_ > 1 ? blocks_ - 1 : 0);
            put16(block_, 4,
                  static_cast<std::uint16_t>(static_cast<int>(inBlock_ * recordSize_) - static_cast<int>(recordSize_)));
            if (!options_.password.empty()) {
                if (!cipher_)
                    cipher_.emplace(engine::paradoxCheckValue(options_.password), blockSize_);
                cipher_->scrambleBlock(reinterpret_cast<unsigned char*>(block_.data()),
                                       static_cast<std::uint32_t>(blocks_));
            }
            out_.write(block_.data(), static_cast<std::streamsize>(block_.size()));
        }
        if (another) {
            block_.assign(blockSize_, '\0');
            inBlock_ = 0;
            ++blocks_;
        }
    }

    std::vector<WriterField> fields_;
    WriterOptions options_;
    std::ofstream out_;
    std::vector<std::size_t> offsets_;
    std::size_t recordSize_ = 0;
    std::size_t blockSize_ = 0;
    std::size_t perBlock_ = 0;
    std::string block_;
    std::size_t inBlock_ = 0;
    std::size_t blocks_ = 0;
    std::size_t records_ = 0;
    bool finished_ = false;
    std::optional<engine::ParadoxCipher> cipher_;
};

} // namespace testsupport

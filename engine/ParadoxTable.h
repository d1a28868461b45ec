#pragma once

// A read-only, bounds-checked reader of Paradox data tables (.DB files of table versions 3.0 to 7.x).
//
// Usage:
//
//     engine::ParadoxTable table("/srv/register/Osigurenici.DB");   // reads and checks the header
//     const engine::ParadoxField& lekar = *table.fieldNamed("LEKAR_S");
//     for (engine::ParadoxScan scan(table); scan.next();) {
//         const engine::ParadoxRecord record = scan.record();
//         if (!record.isBlank(lekar))
//             use(record.alpha(lekar));          // bytes in table.codePage(), without the zero padding
//         remember(record.position());           // to read the same record again later
//     }
//     std::vector<unsigned char> buffer;
//     const engine::ParadoxRecord again = table.readRecord(position, buffer);
//
// What it reads: the header and field descriptors; the data blocks in the order of their chain, starting at
// the header's first block; in each block the records its header says it holds (a block emptied by
// deletions holds none, and the bytes after its last record are never read). Fields of every type a
// table may hold are decoded; memo, BLOB, OLE and graphic fields keep their place in the record but have no
// value here (their data lie in the .MB file). A field whose bytes are all zero is blank. Texts stay in the
// code page the header records (tables of version 4 and later; codePage() is nullptr for older ones), which
// must be one of the 8-bit DOS or Windows code pages, all of which keep ASCII below 0x80.
//
// Safety: the file is read with pread into buffers of our own (never mapped, so another program truncating
// the file cannot crash us), every offset and count is checked against the header and the file, the block
// chain is followed at most once per block (a chain that loops or leaves the file is an error), and decoded
// dates and times are range-checked. Every failure is an EngineError whose text names the file, the part
// of it (the header, a block, a record and field) and what was wrong.
//
// Protection: a table protected by a password (see ParadoxCipher) is opened only when the ParadoxPasswords
// given to it know the password, or get it from their prompt; its blocks are then unscrambled as they are read,
// by scans and by readRecord() alike. A block that does not unscramble into a sane block fails as a damaged one.
//
// Completeness: what the header promises is checked against what is read, so that a damaged header or chain
// never passes for a shorter table. On opening, the file must hold the blocks the header counts after the
// header, in whole blocks. A scan that reaches the end of the chain checks that the chain passed as many
// blocks as the header counts and that the blocks held as many records as the header says; on a mismatch
// that last next() throws instead of returning false.
//
// A ParadoxTable is not changed by reading, so scans and readRecord() may run at the same time on one
// thread; positions stay valid only while the file is unchanged (see identity()).

#include "engine/CodePage.h"
#include "engine/Date.h"
#include "engine/ParadoxCipher.h"
#include "engine/ReadOnlyFile.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// Field type codes as the header stores them.
enum class ParadoxFieldType : std::uint8_t {
    Alpha = 0x01,
    Date = 0x02,
    Short = 0x03,
    Long = 0x04,
    Currency = 0x05,
    Number = 0x06,
    Logical = 0x09,
    Memo = 0x0C,
    Blob = 0x0D,
    FormattedMemo = 0x0E,
    Ole = 0x0F,
    Graphic = 0x10,
    Time = 0x14,
    Timestamp = 0x15,
    AutoIncrement = 0x16,
    Bcd = 0x17,
    Bytes = 0x18,
};

const char* paradoxFieldTypeName(ParadoxFieldType type);

struct ParadoxField {
    std::string name; // as the header spells it, in the table's code page
    ParadoxFieldType type = ParadoxFieldType::Alpha;
    std::uint8_t declaredSize = 0; // the header's size byte; for BCD the digits after the decimal point
    std::uint16_t offset = 0;      // of the field in the record
    std::uint16_t width = 0;       // bytes in the record
    std::size_t index = 0;         // position among the table's fields

    // False for the fields whose data lie outside the record (memo, BLOB, OLE, graphic).
    bool hasValue() const;
};

// A timestamp field: the day and the milliseconds since its midnight.
struct ParadoxTimestamp {
    DayNumber day = 1;
    std::int32_t millisecond = 0;
};

class ParadoxTable;
class ParadoxPasswords;

// One record's bytes, valid as long as the scan or buffer it came from is unchanged.
class ParadoxRecord {
public:
    ParadoxRecord(const ParadoxTable& table, const unsigned char* bytes, std::uint32_t position)
        : table_(&table), bytes_(bytes), position_(position) {}

    // The record's place in the file, for ParadoxTable::readRecord().
    std::uint32_t position() const { return position_; }
    // "block 3, record 12" (both counted from 1), for messages.
    std::string where() const;

    // Blank: the field's bytes are all zero (for alpha: the text is empty). Memo-like fields are always blank.
    bool isBlank(const ParadoxField& field) const;

    // The readers below expect a field of the named types that is not blank.
    // Alpha: the bytes before the first zero byte, in the table's code page.
    std::string_view alpha(const ParadoxField& field) const;
    // Short, Long, AutoIncrement.
    std::int64_t integer(const ParadoxField& field) const;
    // Number, Currency.
    double number(const ParadoxField& field) const;
    // Logical.
    bool logical(const ParadoxField& field) const;
    // Date: throws EngineError when the day lies outside the years 1 to 9999.
    DayNumber date(const ParadoxField& field) const;
    // Time: milliseconds since midnight; throws EngineError outside a day.
    std::int32_t time(const ParadoxField& field) const;
    // Timestamp: throws EngineError outside the years 1 to 9999.
    ParadoxTimestamp timestamp(const ParadoxField& field) const;
    // BCD: the exact decimal text ("-12.50"); throws EngineError when a digit is not decimal.
    std::string bcdText(const ParadoxField& field) const;
    // Bytes: the field's bytes as stored.
    std::string_view bytes(const ParadoxField& field) const;

private:
    const unsigned char* at(const ParadoxField& field) const { return bytes_ + field.offset; }
    [[noreturn]] void fail(const ParadoxField& field, const std::string& what) const;

    const ParadoxTable* table_;
    const unsigned char* bytes_;
    std::uint32_t position_;
};

class ParadoxTable {
public:
    // Opens the file and reads its header. A protected table asks `passwords` (may be null) for its password.
    // Throws EngineError naming the file when it cannot be opened, is not a Paradox data table, its header is
    // damaged, or it is protected and no right password is given.
    explicit ParadoxTable(std::string path, ParadoxPasswords* passwords = nullptr);

    const std::string& path() const { return path_; }
    // The identity of the file when it was opened.
    const FileIdentity& identity() const { return file_.identity(); }

    // The header's version byte: 3 and 4 are versions 3.0 and 3.5, 5 to 9 version 4, 10 and 11 version 5,
    // 12 version 7.
    int versionId() const { return versionId_; }
    std::size_t recordSize() const { return recordSize_; }
    std::size_t blockSize() const { return blockSize_; }
    std::size_t headerSize() const { return headerSize_; }
    // The number of records the header promises; a scan to the end checks it.
    std::uint32_t recordCountInHeader() const { return recordCountInHeader_; }
    // The number of blocks the header counts; never more than blocksInFile().
    std::uint32_t blockCountInHeader() const { return blockCountInHeader_; }
    // True when the chain must pass every block the header counts. The header's next-block word equals its
    // block count unless blocks emptied by deletions left the chain; the chain may then pass fewer.
    bool chainHoldsEveryBlock() const { return chainHoldsEveryBlock_; }
    // Whole blocks the file held when it was opened.
    std::uint32_t blocksInFile() const { return blocksInFile_; }
    std::uint16_t firstBlock() const { return firstBlock_; }

    const std::vector<ParadoxField>& fields() const { return fields_; }
    // The field of that name, without regard to ASCII case; nullptr when there is none.
    const ParadoxField* fieldNamed(std::string_view name) const;

    // The code page the header records (tables of version 4 and later), or nullptr when it records none.
    const CodePage* codePage() const { return codePage_; }
    int codePageNumber() const { return codePageNumber_; }

    // Reads the record at a position that a scan of this table reported into buffer. Throws EngineError
    // when the file no longer holds it.
    ParadoxRecord readRecord(std::uint32_t position, std::vector<unsigned char>& buffer) const;

    // "<path>, block 3": the prefix of messages about a block.
    std::string blockPlace(std::uint32_t block) const;
    // "block 3, record 12" for a record position.
    std::string recordPlace(std::uint32_t position) const;

    const ReadOnlyFile& file() const { return file_; }
    // Whether the table is protected by a password.
    bool isProtected() const { return cipher_.has_value(); }
    // Reads blocks first, first + 1, ... as stored (as many as fit into `length`, a multiple of the block size)
    // into `into`. Returns the number of bytes read: fewer where the file ends.
    std::size_t readStoredBlocks(std::uint32_t first, unsigned char* into, std::size_t length) const;
    // REQUIRES: isProtected(). The plain bytes of block `block` from its stored bytes: the whole block, or only its
    // header and the `only` fields of the records its header counts (the other bytes of `plain` are left as they
    // are).
    void unscrambleBlock(const unsigned char* stored, unsigned char* plain, std::uint32_t block,
                         const std::vector<const ParadoxField*>& only) const;

private:
    // The parts of reading the header, in the order they run; each throws EngineError naming what is wrong.
    void readHeader(ParadoxPasswords* passwords);
    void readLayout(const unsigned char* fixed, std::int64_t fileSize);
    std::size_t readFieldCount(const unsigned char* fixed) const;
    void readProtection(const unsigned char* fixed, ParadoxPasswords* passwords);
    void readFieldDescriptors(const std::vector<unsigned char>& header, std::size_t count);
    void readFieldNames(const std::vector<unsigned char>& header);
    void readCodePage(const unsigned char* fixed);
    void checkBlocksFitTheFile(std::int64_t fileSize);

    // Where the field descriptors begin: after the common header, or after its extension from version 4 on.
    bool hasExtendedHeader() const;
    std::size_t descriptorsAt() const;
    [[noreturn]] void failHeader(const std::string& what) const;

    std::string path_;
    ReadOnlyFile file_;
    int versionId_ = 0;
    std::size_t recordSize_ = 0;
    std::size_t blockSize_ = 0;
    std::size_t headerSize_ = 0;
    std::uint32_t recordCountInHeader_ = 0;
    std::uint32_t blockCountInHeader_ = 0;
    bool chainHoldsEveryBlock_ = true;
    std::uint32_t blocksInFile_ = 0;
    std::uint16_t firstBlock_ = 0;
    std::vector<ParadoxField> fields_;
    const CodePage* codePage_ = nullptr;
    int codePageNumber_ = 0;
    std::optional<ParadoxCipher> cipher_;
};

// Walks the records of a table in the order of the block chain. Reads several neighbouring blocks at a
// time, so a table whose chain runs through the file in order is read in large pieces.
class ParadoxScan {
public:
    // A scan that reads only some fields names them in onlyFields: of a protected table only their bytes are
    // unscrambled, and the other fields of its records must not be read. Empty: every field.
    explicit ParadoxScan(const ParadoxTable& table, std::vector<const ParadoxField*> onlyFields = {});

    // Moves to the next record; false after the last. Throws EngineError when the chain or a block is damaged,
    // and at the end of the chain when it passed fewer blocks or records than the header promises.
    bool next();
    // REQUIRES: the last next() returned true. Valid until the next call of next().
    ParadoxRecord record() const;

private:
    bool enterNextBlock();
    void checkLink(std::uint32_t block) const;
    void checkEndOfChain() const;
    const unsigned char* blockBytes(std::uint32_t block);
    // The block's plain bytes from its stored ones (the same bytes, unless the table is protected).
    const unsigned char* plainBytes(std::uint32_t block, const unsigned char* stored);

    const ParadoxTable& table_;
    std::vector<const ParadoxField*> onlyFields_;
    std::vector<bool> visited_;
    std::uint32_t blocksPassed_ = 0;
    std::uint64_t recordsPassed_ = 0;
    std::uint32_t nextBlock_ = 0;
    std::uint32_t currentBlock_ = 0;
    const unsigned char* currentBytes_ = nullptr;
    std::size_t recordsInBlock_ = 0;
    std::size_t slot_ = 0; // of the current record, counted from 1 once next() succeeded

    // Blocks window_[0 .. windowBlocks_) hold blocks windowFirst_ onwards.
    std::vector<unsigned char> window_;
    std::uint32_t windowFirst_ = 0;
    std::uint32_t windowBlocks_ = 0;
    std::vector<unsigned char> plain_; // the current block of a protected table, unscrambled
};

} // namespace engine

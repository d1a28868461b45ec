#include "engine/ParadoxTable.h"

#include "engine/EngineError.h"
#include "engine/ParadoxPasswords.h"
#include "engine/Text.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace engine {
namespace {

// Offsets in the header. Header numbers are little-endian; field values in records are big-endian.
constexpr std::size_t kRecordSizeAt = 0x00;
constexpr std::size_t kHeaderSizeAt = 0x02;
constexpr std::size_t kFileTypeAt = 0x04;
constexpr std::size_t kBlockSizeCodeAt = 0x05;
constexpr std::size_t kRecordCountAt = 0x06;
constexpr std::size_t kNextBlockAt = 0x0A;
constexpr std::size_t kBlockCountAt = 0x0C;
constexpr std::size_t kFirstBlockAt = 0x0E;
constexpr std::size_t kFieldCountAt = 0x21;
constexpr std::size_t kEncryptionVersion3At = 0x25;
constexpr std::size_t kVersionAt = 0x39;
constexpr std::size_t kEncryptionAt = 0x5C;
constexpr std::size_t kCodePageAt = 0x6A;
// The field descriptors follow the common header (versions 3.x) or its extension (version 4 and later).
constexpr std::size_t kCommonHeaderSize = 0x58;
constexpr std::size_t kExtendedHeaderSize = 0x78;
constexpr int kFirstExtendedVersion = 5;
constexpr int kFirstVersion = 3;
constexpr int kLastVersion = 12;
// The table's name precedes the field names: 261 bytes from version 7 on, 79 before.
constexpr std::size_t kTableNameLength = 79;
constexpr std::size_t kLongTableNameLength = 261;
constexpr int kLongTableNameVersion = 12;

constexpr std::size_t kBlockHeaderSize = 6;
constexpr std::size_t kBcdWidth = 17;
constexpr std::size_t kBcdDigits = 32;
constexpr std::size_t kBlobReferenceSize = 10;
constexpr std::uint32_t kMaxBlockNumber = 0xFFFF;
// Largest piece of neighbouring blocks one read of a scan fetches.
constexpr std::size_t kLargestRead = 256 * 1024;

// The code pages of Paradox's language drivers: the 8-bit DOS and Windows pages, all of which keep ASCII
// below 0x80 (which the conversions and the indexes rely on). Others (EBCDIC, multi-byte pages) are refused.
// (DOS Arabic, 864, is left out: it moves the percent sign.)
constexpr int kTableCodePages[] = {437, 737, 775, 850,  852,  855,  857,  860,  861,  862,  863,  865,
                                   866, 869, 874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};

constexpr std::int64_t kMillisecondsPerDay = 86'400'000;
const DayNumber kLastDay = dayNumberOf(9999, 12, 31);

std::uint16_t littleEndian16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t littleEndian32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::uint64_t bigEndian(const unsigned char* p, std::size_t length) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < length; ++i)
        value = value << 8 | p[i];
    return value;
}

// Numbers are stored with the sign bit inverted, so that blank (all zero) sorts first: a positive value has
// it set. Doubles of negative numbers have all their bits inverted.
std::int32_t storedLong(const unsigned char* p) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(bigEndian(p, 4)) ^ 0x8000'0000u);
}
std::int16_t storedShort(const unsigned char* p) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(bigEndian(p, 2)) ^ 0x8000u);
}
double storedDouble(const unsigned char* p) {
    std::uint64_t bits = bigEndian(p, 8);
    constexpr std::uint64_t sign = std::uint64_t{1} << 63;
    bits = (bits & sign) != 0 ? bits & ~sign : ~bits;
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::string hexByte(unsigned value) {
    static constexpr char digits[] = "0123456789ABCDEF";
    return std::string("0x") + digits[(value >> 4) & 0xF] + digits[value & 0xF];
}

// The width in the record of a field of a type and the header's size byte, or 0 when they do not fit.
std::size_t widthOf(ParadoxFieldType type, std::uint8_t size) {
    switch (type) {
    case ParadoxFieldType::Alpha:
    case ParadoxFieldType::Bytes:
        return size;
    case ParadoxFieldType::Short:
        return size == 2 ? 2 : 0;
    case ParadoxFieldType::Date:
    case ParadoxFieldType::Long:
    case ParadoxFieldType::Time:
    case ParadoxFieldType::AutoIncrement:
        return size == 4 ? 4 : 0;
    case ParadoxFieldType::Currency:
    case ParadoxFieldType::Number:
    case ParadoxFieldType::Timestamp:
        return size == 8 ? 8 : 0;
    case ParadoxFieldType::Logical:
        return size == 1 ? 1 : 0;
    case ParadoxFieldType::Memo:
    case ParadoxFieldType::Blob:
    case ParadoxFieldType::FormattedMemo:
    case ParadoxFieldType::Ole:
    case ParadoxFieldType::Graphic:
        return size >= kBlobReferenceSize ? size : 0;
    case ParadoxFieldType::Bcd:
        return size <= kBcdDigits ? kBcdWidth : 0;
    }
    return 0;
}

bool isKnownType(std::uint8_t code) {
    switch (static_cast<ParadoxFieldType>(code)) {
    case ParadoxFieldType::Alpha:
    case ParadoxFieldType::Date:
    case ParadoxFieldType::Short:
    case ParadoxFieldType::Long:
    case ParadoxFieldType::Currency:
    case ParadoxFieldType::Number:
    case ParadoxFieldType::Logical:
    case ParadoxFieldType::Memo:
    case ParadoxFieldType::Blob:
    case ParadoxFieldType::FormattedMemo:
    case ParadoxFieldType::Ole:
    case ParadoxFieldType::Graphic:
    case ParadoxFieldType::Time:
    case ParadoxFieldType::Timestamp:
    case ParadoxFieldType::AutoIncrement:
    case ParadoxFieldType::Bcd:
    case ParadoxFieldType::Bytes:
        return true;
    }
    return false;
}

} // namespace

const char* paradoxFieldTypeName(ParadoxFieldType type) {
    switch (type) {
    case ParadoxFieldType::Alpha:
        return "alpha";
    case ParadoxFieldType::Date:
        return "date";
    case ParadoxFieldType::Short:
        return "short";
    case ParadoxFieldType::Long:
        return "long integer";
    case ParadoxFieldType::Currency:
        return "currency";
    case ParadoxFieldType::Number:
        return "number";
    case ParadoxFieldType::Logical:
        return "logical";
    case ParadoxFieldType::Memo:
        return "memo";
    case ParadoxFieldType::Blob:
        return "BLOB";
    case ParadoxFieldType::FormattedMemo:
        return "formatted memo";
    case ParadoxFieldType::Ole:
        return "OLE";
    case ParadoxFieldType::Graphic:
        return "graphic";
    case ParadoxFieldType::Time:
        return "time";
    case ParadoxFieldType::Timestamp:
        return "timestamp";
    case ParadoxFieldType::AutoIncrement:
        return "autoincrement";
    case ParadoxFieldType::Bcd:
        return "BCD";
    case ParadoxFieldType::Bytes:
        return "bytes";
    }
    return "unknown";
}

bool ParadoxField::hasValue() const {
    switch (type) {
    case ParadoxFieldType::Memo:
    case ParadoxFieldType::Blob:
    case ParadoxFieldType::FormattedMemo:
    case ParadoxFieldType::Ole:
    case ParadoxFieldType::Graphic:
        return false;
    default:
        return true;
    }
}

// ---------------------------------------------------------------------------------------------------------
// The header

ParadoxTable::ParadoxTable(std::string path, ParadoxPasswords* passwords) : path_(std::move(path)), file_(path_) {
    readHeader(passwords);
}

void ParadoxTable::failHeader(const std::string& what) const { throw EngineError(path_ + ", header: " + what); }

void ParadoxTable::readHeader(ParadoxPasswords* passwords) {
    const std::int64_t fileSize = file_.identity().size;
    if (fileSize < static_cast<std::int64_t>(kCommonHeaderSize))
        failHeader("the file holds " + std::to_string(fileSize) + " bytes, too few for a Paradox table");
    unsigned char fixed[kExtendedHeaderSize] = {};
    file_.readUpTo(0, fixed, sizeof fixed);
    readLayout(fixed, fileSize);
    const std::size_t fieldCount = readFieldCount(fixed);

    std::vector<unsigned char> header(headerSize_);
    if (!file_.readAt(0, header.data(), header.size()))
        failHeader("the file ends inside the header (it was shortened while it was read)");
    readFieldDescriptors(header, fieldCount);
    readFieldNames(header);
    readCodePage(fixed);
    checkBlocksFitTheFile(fileSize);
    readProtection(fixed, passwords);
}

bool ParadoxTable::hasExtendedHeader() const { return versionId_ >= kFirstExtendedVersion; }

std::size_t ParadoxTable::descriptorsAt() const {
    return hasExtendedHeader() ? kExtendedHeaderSize : kCommonHeaderSize;
}

// The numbers that say what kind of file this is and how its records and blocks are laid out.
void ParadoxTable::readLayout(const unsigned char* fixed, std::int64_t fileSize) {
    recordSize_ = littleEndian16(fixed + kRecordSizeAt);
    headerSize_ = littleEndian16(fixed + kHeaderSizeAt);
    const unsigned fileType = fixed[kFileTypeAt];
    const unsigned blockSizeCode = fixed[kBlockSizeCodeAt];
    recordCountInHeader_ = littleEndian32(fixed + kRecordCountAt);
    blockCountInHeader_ = littleEndian16(fixed + kBlockCountAt);
    chainHoldsEveryBlock_ = littleEndian16(fixed + kNextBlockAt) == blockCountInHeader_;
    firstBlock_ = littleEndian16(fixed + kFirstBlockAt);
    versionId_ = fixed[kVersionAt];

    if (fileType != 0 && fileType != 2)
        failHeader("this is not a Paradox data table (file type " + std::to_string(fileType) + ")");
    if (versionId_ < kFirstVersion || versionId_ > kLastVersion)
        failHeader("unknown table version (version byte " + std::to_string(versionId_) + ")");
    if (headerSize_ < descriptorsAt())
        failHeader("the header size " + std::to_string(headerSize_) + " is too small");
    if (static_cast<std::int64_t>(headerSize_) > fileSize)
        failHeader("the header of " + std::to_string(headerSize_) + " bytes is longer than the file (" +
                   std::to_string(fileSize) + " bytes)");
    if (recordSize_ == 0)
        failHeader("the record size is zero");
    if (blockSizeCode < 1 || blockSizeCode > 32)
        failHeader("unknown block size code " + std::to_string(blockSizeCode));
    blockSize_ = blockSizeCode * std::size_t{1024};
    if (recordSize_ > blockSize_ - kBlockHeaderSize)
        failHeader("records of " + std::to_string(recordSize_) + " bytes do not fit in blocks of " +
                   std::to_string(blockSize_) + " bytes");
}

std::size_t ParadoxTable::readFieldCount(const unsigned char* fixed) const {
    const auto fieldCount = static_cast<std::int16_t>(littleEndian16(fixed + kFieldCountAt));
    if (fieldCount <= 0)
        failHeader("the field count " + std::to_string(fieldCount) + " is impossible");
    const auto count = static_cast<std::size_t>(fieldCount);
    if (descriptorsAt() + 2 * count > headerSize_)
        failHeader("the header of " + std::to_string(headerSize_) + " bytes is too short for the descriptors of " +
                   std::to_string(count) + " fields");
    return count;
}

// The check value of the table's password, 0 when it has none. The password is asked for last, once the rest
// of the header has been found sound, so that a damaged file fails without asking.
void ParadoxTable::readProtection(const unsigned char* fixed, ParadoxPasswords* passwords) {
    const std::uint32_t checkValue =
        littleEndian32(fixed + (hasExtendedHeader() ? kEncryptionAt : kEncryptionVersion3At));
    if (checkValue == 0)
        return;
    if (!isPossibleCheckValue(checkValue))
        failHeader("the table is marked as protected by a password, but its password check value " +
                   std::to_string(checkValue) + " is damaged (no password gives it)");
    if (passwords == nullptr)
        throw EngineError(path_ + ": the table is protected by a password, and none was given");
    passwords->unlock(path_, checkValue);
    cipher_.emplace(checkValue, blockSize_);
}

// Each field's type and size, which give its place in the record.
void ParadoxTable::readFieldDescriptors(const std::vector<unsigned char>& header, std::size_t count) {
    std::size_t offset = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t code = header[descriptorsAt() + 2 * i];
        const std::uint8_t size = header[descriptorsAt() + 2 * i + 1];
        const std::string which = "field " + std::to_string(i + 1);
        if (!isKnownType(code))
            failHeader(which + " has an unknown type " + hexByte(code));
        const auto type = static_cast<ParadoxFieldType>(code);
        const std::size_t width = widthOf(type, size);
        if (width == 0)
            failHeader(which + " is of type " + paradoxFieldTypeName(type) + " with the impossible size " +
                       std::to_string(size));
        if (offset + width > recordSize_)
            failHeader("the fields need more than the " + std::to_string(recordSize_) + " bytes of a record (" + which +
                       " ends at byte " + std::to_string(offset + width) + ")");
        ParadoxField field;
        field.type = type;
        field.declaredSize = size;
        field.offset = static_cast<std::uint16_t>(offset);
        field.width = static_cast<std::uint16_t>(width);
        field.index = i;
        fields_.push_back(field);
        offset += width;
    }
}

void ParadoxTable::readFieldNames(const std::vector<unsigned char>& header) {
    // After the descriptors: a pointer to the table name, one pointer per field name, the table name, then
    // the field names, each ended by a zero byte.
    std::size_t at = descriptorsAt() + 2 * fields_.size() + 4 + 4 * fields_.size() +
                     (versionId_ >= kLongTableNameVersion ? kLongTableNameLength : kTableNameLength);
    for (auto& field : fields_) {
        const std::string which = "field " + std::to_string(field.index + 1);
        if (at >= header.size())
            failHeader("the name of " + which + " lies past the end of the header");
        const auto* begin = header.data() + at;
        const auto* end = static_cast<const unsigned char*>(std::memchr(begin, 0, header.size() - at));
        if (end == nullptr)
            failHeader("the name of " + which + " runs past the end of the header");
        if (end == begin)
            failHeader(which + " has no name");
        field.name.assign(reinterpret_cast<const char*>(begin), static_cast<std::size_t>(end - begin));
        at += field.name.size() + 1;
    }
}

// Tables of version 4 and later record the code page of their texts; older ones leave it to the reader.
void ParadoxTable::readCodePage(const unsigned char* fixed) {
    if (!hasExtendedHeader())
        return;
    codePageNumber_ = littleEndian16(fixed + kCodePageAt);
    if (codePageNumber_ == 0)
        return;
    const auto& known = kTableCodePages;
    if (std::find(std::begin(known), std::end(known), codePageNumber_) == std::end(known))
        failHeader("the table's code page " + std::to_string(codePageNumber_) +
                   " is not an 8-bit DOS or Windows code page");
    try {
        codePage_ = &CodePage::named(std::to_string(codePageNumber_));
    } catch (const EngineError&) {
        failHeader("the table's code page " + std::to_string(codePageNumber_) + " is not supported");
    }
    for (unsigned byte = 1; byte < 0x80; ++byte)
        if (codePage_->toUnicode(static_cast<unsigned char>(byte)) != byte)
            failHeader("the system's code page " + std::to_string(codePageNumber_) + " does not keep ASCII");
}

// The header size, the block size and the block count must agree with the file's size: a header size or
// block count that is off would otherwise move every block or hide the last ones.
void ParadoxTable::checkBlocksFitTheFile(std::int64_t fileSize) {
    const auto dataBytes = static_cast<std::uint64_t>(fileSize) - headerSize_;
    const std::uint64_t wholeBlocks = dataBytes / blockSize_;
    if (blockCountInHeader_ > wholeBlocks)
        failHeader("the header promises " + std::to_string(blockCountInHeader_) + " blocks of " +
                   std::to_string(blockSize_) + " bytes after its own " + std::to_string(headerSize_) +
                   " bytes, but the file has room for only " + std::to_string(wholeBlocks));
    if (dataBytes % blockSize_ != 0)
        failHeader("the " + std::to_string(dataBytes) + " bytes after the header of " + std::to_string(headerSize_) +
                   " bytes are not whole blocks of " + std::to_string(blockSize_) + " bytes");
    blocksInFile_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(wholeBlocks, kMaxBlockNumber));
}

const ParadoxField* ParadoxTable::fieldNamed(std::string_view name) const {
    for (const auto& field : fields_)
        if (equalsIgnoreCase(field.name, name))
            return &field;
    return nullptr;
}

std::string ParadoxTable::blockPlace(std::uint32_t block) const { return path_ + ", block " + std::to_string(block); }

std::string ParadoxTable::recordPlace(std::uint32_t position) const {
    const std::size_t data = position - headerSize_;
    const std::size_t block = data / blockSize_ + 1;
    const std::size_t slot = (data % blockSize_ - kBlockHeaderSize) / recordSize_ + 1;
    return "block " + std::to_string(block) + ", record " + std::to_string(slot);
}

ParadoxRecord ParadoxTable::readRecord(std::uint32_t position, std::vector<unsigned char>& buffer) const {
    const bool inData = position >= headerSize_;
    const std::size_t inBlock = inData ? (position - headerSize_) % blockSize_ : 0;
    if (!inData || inBlock < kBlockHeaderSize || (inBlock - kBlockHeaderSize) % recordSize_ != 0 ||
        inBlock + recordSize_ > blockSize_)
        throw EngineError(path_ + ": no record starts at byte " + std::to_string(position));
    const auto shortened = [&] {
        return EngineError(path_ + ", " + recordPlace(position) +
                           ": the file ends before this record (it was shortened while it was read)");
    };
    if (!cipher_) {
        buffer.resize(recordSize_);
        if (!file_.readAt(position, buffer.data(), recordSize_))
            throw shortened();
        return ParadoxRecord(*this, buffer.data(), position);
    }
    // A protected record is unscrambled from the whole chunks that hold it, read behind the record's bytes.
    constexpr std::size_t chunk = ParadoxCipher::kChunkSize;
    const std::size_t storedFrom = inBlock / chunk * chunk;
    const std::size_t storedLength = (inBlock + recordSize_ + chunk - 1) / chunk * chunk - storedFrom;
    buffer.resize(recordSize_ + storedLength);
    unsigned char* stored = buffer.data() + recordSize_;
    if (!file_.readAt(position - inBlock + storedFrom, stored, storedLength))
        throw shortened();
    const auto block = static_cast<std::uint32_t>((position - headerSize_) / blockSize_ + 1);
    cipher_->unscramble(stored, storedFrom, buffer.data(), block, inBlock, recordSize_);
    return ParadoxRecord(*this, buffer.data(), position);
}

std::size_t ParadoxTable::readStoredBlocks(std::uint32_t first, unsigned char* into, std::size_t length) const {
    return file_.readUpTo(headerSize_ + (std::uint64_t{first} - 1) * blockSize_, into, length);
}

void ParadoxTable::unscrambleBlock(const unsigned char* stored, unsigned char* plain, std::uint32_t block,
                                   const std::vector<const ParadoxField*>& only) const {
    if (only.empty()) {
        cipher_->unscrambleBlock(stored, plain, block);
        return;
    }
    const ParadoxCipher::BlockKey key = cipher_->keyOf(block);
    for (std::size_t at = 0; at < kBlockHeaderSize; ++at)
        plain[at] = key.plain(stored, at);
    const auto lastRecordAt = static_cast<std::int16_t>(littleEndian16(plain + 4));
    const std::size_t capacity = (blockSize_ - kBlockHeaderSize) / recordSize_;
    const std::size_t count =
        lastRecordAt < 0 ? 0 : std::min(capacity, static_cast<std::size_t>(lastRecordAt) / recordSize_ + 1);
    for (std::size_t slot = 0; slot < count; ++slot)
        for (const ParadoxField* field : only) {
            const std::size_t first = kBlockHeaderSize + slot * recordSize_ + field->offset;
            for (std::size_t at = first; at < first + field->width; ++at)
                plain[at] = key.plain(stored, at);
        }
}

// ---------------------------------------------------------------------------------------------------------
// Records

std::string ParadoxRecord::where() const { return table_->recordPlace(position_); }

void ParadoxRecord::fail(const ParadoxField& field, const std::string& what) const {
    throw EngineError(table_->path() + ", " + where() + ": field '" + field.name + "' " + what);
}

bool ParadoxRecord::isBlank(const ParadoxField& field) const {
    if (!field.hasValue())
        return true;
    const unsigned char* p = at(field);
    if (field.type == ParadoxFieldType::Alpha)
        return p[0] == 0;
    return std::all_of(p, p + field.width, [](unsigned char b) { return b == 0; });
}

std::string_view ParadoxRecord::alpha(const ParadoxField& field) const {
    const auto* p = reinterpret_cast<const char*>(at(field));
    const void* zero = std::memchr(p, 0, field.width);
    const std::size_t length = zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - p) : field.width;
    return {p, length};
}

std::int64_t ParadoxRecord::integer(const ParadoxField& field) const {
    return field.type == ParadoxFieldType::Short ? storedShort(at(field)) : storedLong(at(field));
}

double ParadoxRecord::number(const ParadoxField& field) const { return storedDouble(at(field)); }

bool ParadoxRecord::logical(const ParadoxField& field) const { return (at(field)[0] & 0x7F) != 0; }

DayNumber ParadoxRecord::date(const ParadoxField& field) const {
    const std::int32_t day = storedLong(at(field));
    if (day < 1 || day > kLastDay)
        fail(field, "holds no valid date (day number " + std::to_string(day) + ")");
    return day;
}

std::int32_t ParadoxRecord::time(const ParadoxField& field) const {
    const std::int32_t millisecond = storedLong(at(field));
    if (millisecond < 0 || millisecond >= kMillisecondsPerDay)
        fail(field, "holds no valid time of day (" + std::to_string(millisecond) + " milliseconds)");
    return millisecond;
}

ParadoxTimestamp ParadoxRecord::timestamp(const ParadoxField& field) const {
    // Milliseconds since the midnight before day 1, so day 1 begins at one day's milliseconds.
    const double stored = storedDouble(at(field));
    const double first = static_cast<double>(kMillisecondsPerDay);
    const double end = static_cast<double>((static_cast<std::int64_t>(kLastDay) + 1) * kMillisecondsPerDay);
    if (!(stored >= first && stored < end))
        fail(field, "holds no valid timestamp (" + std::to_string(stored) + " milliseconds)");
    const auto total = std::min(static_cast<std::int64_t>(std::llround(stored)), static_cast<std::int64_t>(end) - 1);
    return ParadoxTimestamp{static_cast<DayNumber>(total / kMillisecondsPerDay),
                            static_cast<std::int32_t>(total % kMillisecondsPerDay)};
}

std::string ParadoxRecord::bcdText(const ParadoxField& field) const {
    // A sign byte (high bit set for positive numbers), then 32 decimal digits, one per half byte, the last
    // declaredSize of them after the decimal point. A negative number stores its digits inverted.
    const unsigned char* p = at(field);
    const bool negative = (p[0] & 0x80) == 0;
    std::string digits;
    digits.reserve(kBcdDigits);
    for (std::size_t i = 1; i < kBcdWidth; ++i) {
        const unsigned char b = negative ? static_cast<unsigned char>(~p[i]) : p[i];
        for (const unsigned digit : {static_cast<unsigned>(b >> 4), static_cast<unsigned>(b & 0xF)}) {
            if (digit > 9)
                fail(field, "holds no valid BCD number (the half byte " + hexByte(digit) + " is no digit)");
            digits += static_cast<char>('0' + digit);
        }
    }
    const std::size_t scale = field.declaredSize;
    std::string whole = digits.substr(0, kBcdDigits - scale);
    whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));
    const std::string fraction = digits.substr(kBcdDigits - scale);
    const bool zero = digits.find_first_not_of('0') == std::string::npos;
    std::string text = negative && !zero ? "-" : "";
    text += whole.empty() ? "0" : whole;
    if (scale > 0)
        text += "." + fraction;
    return text;
}

std::string_view ParadoxRecord::bytes(const ParadoxField& field) const {
    return {reinterpret_cast<const char*>(at(field)), field.width};
}

// ---------------------------------------------------------------------------------------------------------
// Scans

ParadoxScan::ParadoxScan(const ParadoxTable& table, std::vector<const ParadoxField*> onlyFields)
    : table_(table), onlyFields_(std::move(onlyFields)), visited_(std::size_t{table.blocksInFile()} + 1, false),
      nextBlock_(table.firstBlock()) {}

bool ParadoxScan::next() {
    while (slot_ >= recordsInBlock_)
        if (!enterNextBlock())
            return false;
    ++slot_;
    return true;
}

ParadoxRecord ParadoxScan::record() const {
    const std::size_t inBlock = kBlockHeaderSize + (slot_ - 1) * table_.recordSize();
    const std::size_t blockStart = table_.headerSize() + (currentBlock_ - std::size_t{1}) * table_.blockSize();
    return ParadoxRecord(table_, currentBytes_ + inBlock, static_cast<std::uint32_t>(blockStart + inBlock));
}

bool ParadoxScan::enterNextBlock() {
    if (nextBlock_ == 0) {
        checkEndOfChain();
        return false;
    }
    const std::uint32_t block = nextBlock_;
    checkLink(block);
    visited_[block] = true;
    ++blocksPassed_;

    const unsigned char* bytes = blockBytes(block);
    const auto next = littleEndian16(bytes);
    const auto lastRecordAt = static_cast<std::int16_t>(littleEndian16(bytes + 4));
    const std::size_t capacity = (table_.blockSize() - kBlockHeaderSize) / table_.recordSize();
    const std::size_t count = lastRecordAt < 0 ? 0 : static_cast<std::size_t>(lastRecordAt) / table_.recordSize() + 1;
    if (count > capacity)
        throw EngineError(table_.blockPlace(block) + ": the block claims " + std::to_string(count) +
                          " records (the last at byte " + std::to_string(lastRecordAt) + "), but only " +
                          std::to_string(capacity) + " fit");
    currentBlock_ = block;
    currentBytes_ = bytes;
    recordsInBlock_ = count;
    recordsPassed_ += count;
    slot_ = 0;
    nextBlock_ = next;
    return true;
}

// A link must lead to a block the file holds and the chain has not passed, and only while the chain has
// passed fewer blocks than the header counts.
void ParadoxScan::checkLink(std::uint32_t block) const {
    const auto link = [&] {
        return (currentBlock_ == 0 ? table_.path() + ", header: the first block"
                                   : table_.blockPlace(currentBlock_) + ": the next block") +
               " is block " + std::to_string(block);
    };
    if (block > table_.blocksInFile())
        throw EngineError(link() + ", but the file holds only " + std::to_string(table_.blocksInFile()) +
                          (table_.blocksInFile() == 1 ? " block" : " blocks"));
    if (visited_[block])
        throw EngineError(link() + ", which the chain of blocks has passed before (the chain loops)");
    const std::uint32_t promised = table_.blockCountInHeader();
    if (blocksPassed_ == promised)
        throw EngineError(link() + (promised == 0 ? ", but the header promises no blocks"
                                                  : ", but the chain has already passed the " +
                                                        std::to_string(promised) + " blocks the header promises"));
}

// Only the whole chain tells whether blocks or records are missing, so the last next() checks it.
void ParadoxScan::checkEndOfChain() const {
    const std::string& path = table_.path();
    if (table_.chainHoldsEveryBlock() && blocksPassed_ != table_.blockCountInHeader())
        throw EngineError(path + ": the header promises " + std::to_string(table_.blockCountInHeader()) +
                          " blocks, but the chain of blocks holds " + std::to_string(blocksPassed_));
    if (recordsPassed_ != table_.recordCountInHeader())
        throw EngineError(path + ": the header promises " + std::to_string(table_.recordCountInHeader()) +
                          " records, but the blocks hold " + std::to_string(recordsPassed_));
}

const unsigned char* ParadoxScan::blockBytes(std::uint32_t block) {
    const std::size_t blockSize = table_.blockSize();
    if (block >= windowFirst_ && block < windowFirst_ + windowBlocks_)
        return plainBytes(block, window_.data() + (block - windowFirst_) * blockSize);
    // A chain that runs on through the file is read in growing pieces; one that jumps, a block at a time.
    const bool continues = windowBlocks_ > 0 && block == windowFirst_ + windowBlocks_;
    const std::size_t largest = std::max<std::size_t>(1, kLargestRead / blockSize);
    const std::size_t wanted = continues ? std::min(largest, std::size_t{windowBlocks_} * 2) : 1;
    const std::size_t blocks = std::min<std::size_t>(wanted, table_.blocksInFile() - block + 1);
    window_.resize(blocks * blockSize);
    const std::size_t got = table_.readStoredBlocks(block, window_.data(), window_.size());
    windowFirst_ = block;
    windowBlocks_ = static_cast<std::uint32_t>(got / blockSize);
    if (windowBlocks_ == 0)
        throw EngineError(table_.blockPlace(block) +
                          ": the file ends inside this block (it was shortened while it was read)");
    return plainBytes(block, window_.data());
}

const unsigned char* ParadoxScan::plainBytes(std::uint32_t block, const unsigned char* stored) {
    if (!table_.isProtected())
        return stored;
    plain_.resize(table_.blockSize());
    table_.unscrambleBlock(stored, plain_.data(), block, onlyFields_);
    return plain_.data();
}

} // namespace engine

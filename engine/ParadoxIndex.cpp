#include "engine/ParadoxIndex.h"

#include "engine/CellText.h"
#include "engine/EngineError.h"

#include <algorithm>

namespace engine {

ParadoxAlphaIndex::ParadoxAlphaIndex(const ParadoxTable& table, const ParadoxField& field, const KeyOf& keyOf) {
    if (field.type != ParadoxFieldType::Alpha)
        throw EngineError(table.path() + ": field '" + field.name + "' is not an alpha field and cannot be indexed");

    // One scan gives every record's key number; a counting sort then groups the positions by key, keeping
    // the scan order within a key.
    std::unordered_map<std::string, std::uint32_t, TextHash, std::equal_to<>> numbers;
    std::vector<std::uint32_t> countOfKey;
    std::vector<std::uint32_t> keyOfRecord;
    std::vector<std::uint32_t> positionOfRecord;
    const std::size_t fitting = std::size_t{table.blocksInFile()} * ((table.blockSize() - 6) / table.recordSize());
    const std::size_t expected = std::min<std::size_t>(table.recordCountInHeader(), fitting);
    keyOfRecord.reserve(expected);
    positionOfRecord.reserve(expected);

    std::string previous;
    std::uint32_t previousNumber = 0;
    bool havePrevious = false;
    for (ParadoxScan scan(table, {&field}); scan.next();) {
        const ParadoxRecord record = scan.record();
        if (record.isBlank(field))
            continue;
        const std::string_view stored = record.alpha(field);
        std::uint32_t number = previousNumber;
        if (!havePrevious || stored != previous) {
            const std::string converted = isAscii(stored) ? std::string() : keyOf(stored);
            const std::string_view key = isAscii(stored) ? stored : std::string_view(converted);
            auto it = numbers.find(key);
            if (it == numbers.end()) {
                it = numbers.emplace(std::string(key), static_cast<std::uint32_t>(countOfKey.size())).first;
                countOfKey.push_back(0);
            }
            number = it->second;
            previous.assign(stored);
            previousNumber = number;
            havePrevious = true;
        }
        ++countOfKey[number];
        keyOfRecord.push_back(number);
        positionOfRecord.push_back(record.position());
    }

    std::vector<std::uint32_t> next(countOfKey.size());
    std::uint32_t begin = 0;
    for (std::size_t k = 0; k < countOfKey.size(); ++k) {
        next[k] = begin;
        begin += countOfKey[k];
    }
    positions_.resize(keyOfRecord.size());
    for (auto& [key, number] : numbers)
        keys_.emplace(key, Range{next[number], countOfKey[number]});
    for (std::size_t i = 0; i < keyOfRecord.size(); ++i)
        positions_[next[keyOfRecord[i]]++] = positionOfRecord[i];
}

std::span<const std::uint32_t> ParadoxAlphaIndex::find(std::string_view key) const {
    const auto it = keys_.find(key);
    if (it == keys_.end())
        return {};
    return {positions_.data() + it->second.begin, it->second.count};
}

std::size_t ParadoxAlphaIndex::memoryBytes() const {
    // A node of the map holds its value and the next pointer and the cached hash; longer keys add their text.
    constexpr std::size_t node = sizeof(std::pair<const std::string, Range>) + 2 * sizeof(void*);
    std::size_t bytes = sizeof(*this) + positions_.capacity() * sizeof(std::uint32_t) +
                        keys_.bucket_count() * sizeof(void*) + keys_.size() * node;
    for (const auto& [key, range] : keys_)
        if (key.capacity() > std::string().capacity())
            bytes += key.capacity() + 1;
    return bytes;
}

} // namespace engine

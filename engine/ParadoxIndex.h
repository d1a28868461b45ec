#pragma once

#include "engine/ParadoxTable.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace engine {

// The positions of a table's records by the text of one alpha field, for finding the records of one
// value (one doctor's insured persons) without reading the whole table. Built by one scan; the positions of
// one value keep the order of the scan, so a lookup gives the records in the order a full scan gives them.
// Blank values are not indexed (blank is null and never equals anything). Valid while the file is unchanged.
class ParadoxAlphaIndex {
public:
    // Turns a field's bytes (in the table's code page) into the key under which they are found: the SQL
    // layer passes the conversion into the UTF-8 it delivers texts in. It is asked only for texts that are
    // not plain ASCII; plain ASCII is its own key in every code page.
    using KeyOf = std::function<std::string(std::string_view stored)>;

    // Scans the table once. Throws EngineError when the table is damaged.
    ParadoxAlphaIndex(const ParadoxTable& table, const ParadoxField& field, const KeyOf& keyOf);

    // The positions of the records whose field is exactly key, in scan order.
    std::span<const std::uint32_t> find(std::string_view key) const;

    std::size_t keyCount() const { return keys_.size(); }
    std::size_t recordCount() const { return positions_.size(); }
    // The memory the index holds, estimated from its containers.
    std::size_t memoryBytes() const;

private:
    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    };
    struct Range {
        std::uint32_t begin = 0;
        std::uint32_t count = 0;
    };

    std::unordered_map<std::string, Range, TextHash, std::equal_to<>> keys_;
    std::vector<std::uint32_t> positions_; // grouped by key
};

} // namespace engine

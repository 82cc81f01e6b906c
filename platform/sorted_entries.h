#pragma once
// The entry list of a sorted combo box, shared by the Qt port and the
// in-memory one: kept in order of a comparison key, cheap to fill with many
// entries, with handles that keep naming an entry while others are added.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// Entries (text and comparison key) ordered by key, byte by byte, and equal
// keys in the order they were added. The ports build the key as the
// case-folded text, a NUL, then the exact text: entries order regardless of
// case first, then by exact text. Entries are held in blocks of bounded size,
// so a sorted insertion costs a search plus a move within one block; filling
// 100,000 entries stays far from quadratic, and a bulk fill is one merge.
class SortedEntries {
public:
    // Names one entry for as long as it is listed.
    struct Handle {
        std::string key;
        std::uint64_t serial;
    };

    void Clear();
    // Inserts after every entry whose key is not greater; answers the index.
    int Insert(std::string text, std::string key);
    // Inserts (text, key) pairs as Insert one by one would, in one merge.
    void InsertMany(std::vector<std::pair<std::string, std::string>> entries);
    // Appends at the end regardless of order; answers the index.
    int Append(std::string text, std::string key);

    int Size() const { return size_; }
    // Text and key of entry `index` (0 <= index < Size()).
    const std::string& Text(int index) const;
    const std::string& Key(int index) const;
    // The handle of entry `index`; nullopt outside the list.
    std::optional<Handle> HandleAt(int index) const;
    // The entry's index now; -1 once it is gone (Clear).
    int IndexOf(const Handle& handle) const;

    // First entry at or after start+1, wrapping round, whose key begins with
    // keyPrefix; start -1 (or any index outside the list) searches from the
    // top. Answers -1 when no entry matches. For a sorted list this is a
    // binary search; for one filled by Append, a scan.
    int FindPrefix(int start, const std::string& keyPrefix) const;

private:
    struct Entry {
        std::string text;
        std::string key;
        std::uint64_t serial;
    };
    const Entry& At(int index) const;
    // Index of the first entry whose key is not less than `key`.
    int LowerBound(const std::string& key) const;
    void SplitIfFull(std::size_t block);
    void Push(Entry entry);

    std::vector<std::vector<Entry>> blocks_;
    int size_ = 0;
    bool sorted_ = true;  // false once Append broke the order
    std::uint64_t nextSerial_ = 0;
};

}  // namespace platform

#pragma once
// The entry list of an in-memory combo box: kept in order of a comparison
// key, cheap to fill with many entries.

#include <string>
#include <utility>
#include <vector>

namespace platform::fake {

// Entries with their keys, held in blocks of bounded size so that a sorted
// insertion costs a search plus a move within one block, not within the whole
// list: filling 100,000 entries in random order stays far from quadratic.
class SortedEntries {
public:
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

    // First entry at or after start+1, wrapping round, whose key begins with
    // keyPrefix; start -1 (or any index outside the list) searches from the
    // top. Answers -1 when no entry matches.
    int FindPrefix(int start, const std::string& keyPrefix) const;

private:
    struct Entry {
        std::string text;
        std::string key;
    };
    const Entry& At(int index) const;
    void SplitIfFull(std::size_t block);

    std::vector<std::vector<Entry>> blocks_;
    int size_ = 0;
};

}  // namespace platform::fake

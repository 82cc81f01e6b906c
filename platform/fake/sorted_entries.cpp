#include "platform/fake/sorted_entries.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>

namespace platform::fake {
namespace {
// A block is split in two when it grows beyond this many entries.
constexpr std::size_t kMaxBlock = 512;
}  // namespace

void SortedEntries::Clear() {
    blocks_.clear();
    size_ = 0;
}

int SortedEntries::Insert(std::string text, std::string key) {
    if (blocks_.empty()) return Append(std::move(text), std::move(key));
    // The first block whose last key is greater than the new key takes it;
    // when there is none, the last block takes it at its end.
    auto block = std::upper_bound(blocks_.begin(), blocks_.end(), key,
                                  [](const std::string& k, const std::vector<Entry>& b) { return k < b.back().key; });
    if (block == blocks_.end()) --block;
    auto pos = std::upper_bound(block->begin(), block->end(), key,
                                [](const std::string& k, const Entry& e) { return k < e.key; });
    int index = static_cast<int>(pos - block->begin());
    for (auto it = blocks_.begin(); it != block; ++it) index += static_cast<int>(it->size());
    block->insert(pos, Entry{std::move(text), std::move(key)});
    ++size_;
    SplitIfFull(static_cast<std::size_t>(block - blocks_.begin()));
    return index;
}

void SortedEntries::InsertMany(std::vector<std::pair<std::string, std::string>> entries) {
    std::vector<Entry> added;
    added.reserve(entries.size());
    for (auto& [text, key] : entries) added.push_back(Entry{std::move(text), std::move(key)});
    auto byKey = [](const Entry& a, const Entry& b) { return a.key < b.key; };
    // Stable: entries of equal keys keep the order they were added in, the
    // ones already listed first.
    std::stable_sort(added.begin(), added.end(), byKey);
    std::vector<Entry> present;
    present.reserve(static_cast<std::size_t>(size_));
    for (auto& block : blocks_)
        for (Entry& e : block) present.push_back(std::move(e));
    std::vector<Entry> merged;
    merged.reserve(present.size() + added.size());
    std::merge(std::make_move_iterator(present.begin()), std::make_move_iterator(present.end()),
               std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()), std::back_inserter(merged),
               byKey);
    Clear();
    for (Entry& e : merged) Append(std::move(e.text), std::move(e.key));
}

int SortedEntries::Append(std::string text, std::string key) {
    if (blocks_.empty() || blocks_.back().size() >= kMaxBlock) blocks_.emplace_back();
    blocks_.back().push_back(Entry{std::move(text), std::move(key)});
    return size_++;
}

const std::string& SortedEntries::Text(int index) const { return At(index).text; }
const std::string& SortedEntries::Key(int index) const { return At(index).key; }

int SortedEntries::FindPrefix(int start, const std::string& keyPrefix) const {
    if (size_ == 0) return -1;
    const int first = (start < 0 || start >= size_) ? 0 : (start + 1) % size_;
    // One pass over the blocks from `first`, wrapping round once.
    int index = 0;
    int found = -1;
    for (const auto& block : blocks_) {
        for (const Entry& e : block) {
            if (e.key.compare(0, keyPrefix.size(), keyPrefix) == 0) {
                if (index >= first) return index;
                if (found < 0) found = index;
            }
            ++index;
        }
    }
    return found;
}

const SortedEntries::Entry& SortedEntries::At(int index) const {
    if (index < 0 || index >= size_) throw std::out_of_range("combo entry index");
    for (const auto& block : blocks_) {
        if (index < static_cast<int>(block.size())) return block[static_cast<std::size_t>(index)];
        index -= static_cast<int>(block.size());
    }
    throw std::out_of_range("combo entry index");
}

void SortedEntries::SplitIfFull(std::size_t block) {
    auto& full = blocks_[block];
    if (full.size() <= kMaxBlock) return;
    std::vector<Entry> upper(std::make_move_iterator(full.begin() + static_cast<long>(full.size() / 2)),
                             std::make_move_iterator(full.end()));
    full.resize(full.size() / 2);
    blocks_.insert(blocks_.begin() + static_cast<long>(block) + 1, std::move(upper));
}

}  // namespace platform::fake

#include "platform/sorted_entries.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>

namespace platform {
namespace {
// A block is split in two when it grows beyond this many entries.
constexpr std::size_t kMaxBlock = 512;

bool StartsWith(const std::string& text, const std::string& prefix) { return text.compare(0, prefix.size(), prefix) == 0; }
}  // namespace

void SortedEntries::Clear() {
    blocks_.clear();
    size_ = 0;
    sorted_ = true;
}

int SortedEntries::Insert(std::string text, std::string key) {
    if (blocks_.empty()) {
        Push(Entry{std::move(text), std::move(key), nextSerial_++});
        return 0;
    }
    // The first block whose last key is greater than the new key takes it;
    // when there is none, the last block takes it at its end.
    auto block = std::upper_bound(blocks_.begin(), blocks_.end(), key,
                                  [](const std::string& k, const std::vector<Entry>& b) { return k < b.back().key; });
    if (block == blocks_.end()) --block;
    auto pos = std::upper_bound(block->begin(), block->end(), key,
                                [](const std::string& k, const Entry& e) { return k < e.key; });
    int index = static_cast<int>(pos - block->begin());
    for (auto it = blocks_.begin(); it != block; ++it) index += static_cast<int>(it->size());
    block->insert(pos, Entry{std::move(text), std::move(key), nextSerial_++});
    ++size_;
    SplitIfFull(static_cast<std::size_t>(block - blocks_.begin()));
    return index;
}

void SortedEntries::InsertMany(std::vector<std::pair<std::string, std::string>> entries) {
    std::vector<Entry> added;
    added.reserve(entries.size());
    for (auto& [text, key] : entries) added.push_back(Entry{std::move(text), std::move(key), nextSerial_++});
    auto byKey = [](const Entry& a, const Entry& b) { return a.key < b.key; };
    // Stable, and the listed entries first among equal keys: the order of
    // adding one by one.
    std::stable_sort(added.begin(), added.end(), byKey);
    std::vector<Entry> present;
    present.reserve(static_cast<std::size_t>(size_));
    for (auto& block : blocks_)
        for (Entry& e : block) present.push_back(std::move(e));
    const bool wasSorted = sorted_;
    Clear();
    if (!wasSorted) {
        // An appended list has no order to merge into: insert one by one.
        for (Entry& e : present) Push(std::move(e));
        sorted_ = false;
        for (Entry& e : added) Insert(std::move(e.text), std::move(e.key));
        return;
    }
    std::vector<Entry> merged;
    merged.reserve(present.size() + added.size());
    std::merge(std::make_move_iterator(present.begin()), std::make_move_iterator(present.end()),
               std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()), std::back_inserter(merged),
               byKey);
    for (Entry& e : merged) Push(std::move(e));
}

int SortedEntries::Append(std::string text, std::string key) {
    if (size_ > 0 && key < Key(size_ - 1)) sorted_ = false;
    Push(Entry{std::move(text), std::move(key), nextSerial_++});
    return size_ - 1;
}

void SortedEntries::Push(Entry entry) {
    if (blocks_.empty() || blocks_.back().size() >= kMaxBlock) blocks_.emplace_back();
    blocks_.back().push_back(std::move(entry));
    ++size_;
}

const std::string& SortedEntries::Text(int index) const { return At(index).text; }
const std::string& SortedEntries::Key(int index) const { return At(index).key; }

std::optional<SortedEntries::Handle> SortedEntries::HandleAt(int index) const {
    if (index < 0 || index >= size_) return std::nullopt;
    const Entry& e = At(index);
    return Handle{e.key, e.serial};
}

int SortedEntries::IndexOf(const Handle& handle) const {
    // Equal keys stand together in a sorted list; otherwise every entry is a candidate.
    for (int index = sorted_ ? LowerBound(handle.key) : 0; index < size_; ++index) {
        const Entry& e = At(index);
        if (e.serial == handle.serial) return index;
        if (sorted_ && e.key != handle.key) break;
    }
    return -1;
}

int SortedEntries::LowerBound(const std::string& key) const {
    auto block = std::lower_bound(blocks_.begin(), blocks_.end(), key,
                                  [](const std::vector<Entry>& b, const std::string& k) { return b.back().key < k; });
    int index = 0;
    for (auto it = blocks_.begin(); it != block; ++it) index += static_cast<int>(it->size());
    if (block == blocks_.end()) return index;
    auto pos = std::lower_bound(block->begin(), block->end(), key,
                                [](const Entry& e, const std::string& k) { return e.key < k; });
    return index + static_cast<int>(pos - block->begin());
}

int SortedEntries::FindPrefix(int start, const std::string& keyPrefix) const {
    if (size_ == 0) return -1;
    const int from = (start < 0 || start >= size_) ? 0 : (start + 1) % size_;
    if (sorted_) {
        // The entries that begin with the prefix form one run from `first`:
        // `from` is in it exactly when it lies after `first` and matches.
        const int first = LowerBound(keyPrefix);
        if (first >= size_ || !StartsWith(Key(first), keyPrefix)) return -1;
        return (from > first && StartsWith(Key(from), keyPrefix)) ? from : first;
    }
    // One pass over the blocks, wrapping round once.
    int index = 0;
    int found = -1;
    for (const auto& block : blocks_) {
        for (const Entry& e : block) {
            if (StartsWith(e.key, keyPrefix)) {
                if (index >= from) return index;
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

}  // namespace platform

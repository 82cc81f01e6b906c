#include "platform/qt/sorted_entries.h"

namespace platform::qt {

bool SortedEntries::Less::operator()(const Key& a, const Key& b) const {
    if (int c = a.folded.compare(b.folded); c != 0) return c < 0;
    if (int c = a.text.compare(b.text); c != 0) return c < 0;
    return a.serial < b.serial;
}

int SortedEntries::Add(const QString& text) {
    Key key{text.toCaseFolded(), text, nextSerial_++};
    const int index = static_cast<int>(tree_.order_of_key(key));
    tree_.insert(std::move(key));
    return index;
}

void SortedEntries::Insert(const QString& text) { tree_.insert(Key{text.toCaseFolded(), text, nextSerial_++}); }

void SortedEntries::Clear() { tree_.clear(); }

int SortedEntries::Count() const { return static_cast<int>(tree_.size()); }

std::optional<SortedEntries::Key> SortedEntries::KeyAt(int index) const {
    if (index < 0 || index >= Count()) return std::nullopt;
    return *tree_.find_by_order(static_cast<std::size_t>(index));
}

std::optional<QString> SortedEntries::At(int index) const {
    auto key = KeyAt(index);
    if (!key) return std::nullopt;
    return key->text;
}

int SortedEntries::IndexOf(const Key& key) const {
    auto it = tree_.find(key);
    if (it == tree_.end()) return -1;
    return static_cast<int>(tree_.order_of_key(key));
}

int SortedEntries::FindPrefix(int start, const QString& prefix) const {
    const int count = Count();
    if (count == 0) return -1;
    const QString folded = prefix.toCaseFolded();
    // Entries are ordered by their folded text first, so those that begin
    // with the folded prefix form one run [first, last).
    const int first = static_cast<int>(tree_.order_of_key(Key{folded, QString(), 0}));
    auto matches = [&](int index) {
        return tree_.find_by_order(static_cast<std::size_t>(index))->folded.startsWith(folded);
    };
    if (first >= count || !matches(first)) return -1;
    int lo = first + 1, hi = count;  // the run ends somewhere in [lo, hi]
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (matches(mid))
            lo = mid + 1;
        else
            hi = mid;
    }
    const int last = lo;
    const int from = start < -1 ? 0 : start + 1;
    return (from > first && from < last) ? from : first;
}

}  // namespace platform::qt

#pragma once
// The entries of a sorted combo list: kept in order as they are added, with
// positions, look-up by position and prefix search all in logarithmic time,
// so refilling a list of 100,000 stations stays quick.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <ext/pb_ds/assoc_container.hpp>
#include <ext/pb_ds/tree_policy.hpp>
#include <optional>

namespace platform::qt {

// A multiset of texts ordered case-insensitively (Unicode case folding),
// then by exact text; equal entries stay in the order they were added.
class SortedEntries {
public:
    // Adds the text and answers the position it took.
    int Add(const QString& text);
    // Adds the text without computing its position.
    void Insert(const QString& text);
    void Clear();
    int Count() const;
    // The entry at a position; nullopt outside the list.
    std::optional<QString> At(int index) const;
    // The first position at or after start+1, wrapping round, whose entry
    // begins with prefix regardless of case; -1 when none does.
    int FindPrefix(int start, const QString& prefix) const;

    // A handle to one entry that keeps naming it while others are added.
    struct Key {
        QString folded;
        QString text;
        std::uint64_t serial;
    };
    std::optional<Key> KeyAt(int index) const;
    int IndexOf(const Key& key) const;

private:
    struct Less {
        bool operator()(const Key& a, const Key& b) const;
    };
    using Tree = __gnu_pbds::tree<Key, __gnu_pbds::null_type, Less, __gnu_pbds::rb_tree_tag,
                                  __gnu_pbds::tree_order_statistics_node_update>;
    Tree tree_;
    std::uint64_t nextSerial_ = 0;
};

}  // namespace platform::qt

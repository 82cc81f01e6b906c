#pragma once
// The shared sorted entry list (platform/sorted_entries.h) in the Qt port's
// terms: QString texts, ordered regardless of case by Unicode case folding.

#include <QString>
#include <QStringList>
#include <optional>

#include "platform/sorted_entries.h"

namespace platform::qt {

// Texts ordered case-insensitively (Unicode case folding), then by exact
// text; equal entries stay in the order they were added.
class SortedEntries {
public:
    // Adds the text and answers the position it took.
    int Add(const QString& text);
    // Adds many texts as Add one by one would, in one merge.
    void AddMany(const QStringList& texts);
    void Clear() { entries_.Clear(); }
    int Count() const { return entries_.Size(); }
    // The entry at a position; nullopt outside the list.
    std::optional<QString> At(int index) const;
    // The first position at or after start+1, wrapping round, whose entry
    // begins with prefix regardless of case; -1 when none does.
    int FindPrefix(int start, const QString& prefix) const;

    // A handle to one entry that keeps naming it while others are added.
    using Key = platform::SortedEntries::Handle;
    std::optional<Key> KeyAt(int index) const { return entries_.HandleAt(index); }
    int IndexOf(const Key& key) const { return entries_.IndexOf(key); }

private:
    platform::SortedEntries entries_;
};

}  // namespace platform::qt

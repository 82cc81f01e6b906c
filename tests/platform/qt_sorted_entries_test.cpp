// The sorted entry list behind the Qt combo boxes, against a plainly sorted
// reference.

#include <gtest/gtest.h>

#include <QStringList>

#include <algorithm>
#include <random>
#include <vector>

#include "platform/qt/sorted_entries.h"

using platform::qt::SortedEntries;

TEST(QtSortedEntries, RandomAdditionsMatchAStableSortByFoldedThenExactText) {
    std::mt19937 random(7);
    const QStringList pool = {"a", "A", "ab", "AB", "b", "Б", "б", "аб", "ZZ", "z", "", "ё", "Ё", "е"};
    SortedEntries entries;
    std::vector<QString> reference;  // kept sorted by insertion after equal keys
    for (int i = 0; i < 2000; ++i) {
        const QString text = pool[static_cast<int>(random() % pool.size())] + QString::number(random() % 3);
        const int index = entries.Add(text);
        auto at = std::upper_bound(reference.begin(), reference.end(), text, [](const QString& a, const QString& b) {
            const QString fa = a.toCaseFolded(), fb = b.toCaseFolded();
            return fa != fb ? fa < fb : a < b;
        });
        EXPECT_EQ(index, at - reference.begin());
        reference.insert(at, text);
    }
    ASSERT_EQ(entries.Count(), static_cast<int>(reference.size()));
    for (int i = 0; i < entries.Count(); ++i) EXPECT_EQ(entries.At(i), reference[i]) << i;
    EXPECT_FALSE(entries.At(entries.Count()).has_value());
    EXPECT_FALSE(entries.At(-1).has_value());
}

TEST(QtSortedEntries, PrefixSearchMatchesALinearScan) {
    SortedEntries entries;
    for (const char* text : {"KIV", "kiev", "KIS", "ARU", "МОС", "мост", "OBN", "K", "KI"})
        entries.Add(QString::fromUtf8(text));
    auto linear = [&](int start, const QString& prefix) {
        const int n = entries.Count();
        const int from = (start < -1 || start >= n) ? 0 : start + 1;
        for (int k = 0; k < n; ++k) {
            const int i = (from + k) % n;
            if (entries.At(i)->startsWith(prefix, Qt::CaseInsensitive)) return i;
        }
        return -1;
    };
    for (const char* prefix : {"", "k", "KI", "kie", "kiv", "z", "мо", "МОСТ", "a", "obn", "kivx"})
        for (int start = -2; start <= entries.Count() + 1; ++start)
            EXPECT_EQ(entries.FindPrefix(start, QString::fromUtf8(prefix)), linear(start, QString::fromUtf8(prefix)))
                << prefix << " from " << start;
}

TEST(QtSortedEntries, KeysFollowTheirEntryAndDieWithClear) {
    SortedEntries entries;
    entries.Add("M");
    auto key = entries.KeyAt(0);
    ASSERT_TRUE(key.has_value());
    entries.Add("A");
    entries.Add("M");
    EXPECT_EQ(entries.IndexOf(*key), 1);
    entries.Clear();
    EXPECT_EQ(entries.IndexOf(*key), -1);
    EXPECT_EQ(entries.Count(), 0);
    EXPECT_EQ(entries.FindPrefix(-1, ""), -1);
}

#include "platform/qt/sorted_entries.h"

#include <string>
#include <utility>
#include <vector>

namespace platform::qt {
namespace {

// The comparison key: the folded text, a NUL, the exact text.
std::string KeyOf(const QString& text) { return text.toCaseFolded().toStdString() + '\0' + text.toStdString(); }

}  // namespace

int SortedEntries::Add(const QString& text) { return entries_.Insert(text.toStdString(), KeyOf(text)); }

void SortedEntries::AddMany(const QStringList& texts) {
    std::vector<std::pair<std::string, std::string>> entries;
    entries.reserve(static_cast<std::size_t>(texts.size()));
    for (const QString& text : texts) entries.emplace_back(text.toStdString(), KeyOf(text));
    entries_.InsertMany(std::move(entries));
}

std::optional<QString> SortedEntries::At(int index) const {
    if (index < 0 || index >= Count()) return std::nullopt;
    return QString::fromStdString(entries_.Text(index));
}

int SortedEntries::FindPrefix(int start, const QString& prefix) const {
    return entries_.FindPrefix(start, prefix.toCaseFolded().toStdString());
}

}  // namespace platform::qt

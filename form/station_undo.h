#pragma once
// The changes this window wrote, which Ctrl+Z takes back one by one, newest
// first, through the journal's restore.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What a change of the window did to its station.
enum class ChangeKind {
    Created,  // saved a station the database did not hold
    Saved,    // saved over a stored station
    Deleted,  // deleted a station with its channels
};

// One change the window wrote: the station, what was done, the journal entry
// that holds it, and the local time it was written ("hh:mm:ss").
struct WindowChange {
    std::string code;
    ChangeKind kind = ChangeKind::Saved;
    std::int64_t entry = 0;
    std::string time;
};

// The window's undoable changes, oldest first.
class WindowChanges {
public:
    // A change the journal holds as `entry`. A change it does not hold (the
    // journal is not kept on this database) ends the list: an undo past it
    // would silently take it back too.
    void Record(const std::string& code, ChangeKind kind, std::optional<std::int64_t> entry);
    // The newest change, nullptr when none is left.
    const WindowChange* Last() const { return changes_.empty() ? nullptr : &changes_.back(); }
    void DropLast();
    // Whether a change went unjournaled, so that Ctrl+Z can say why it has
    // nothing to offer.
    bool MissedAny() const { return missed_; }

private:
    std::vector<WindowChange> changes_;
    bool missed_ = false;
};

// The question before `change` is undone: the station, when it was changed,
// and what comes back.
std::string UndoQuestion(const WindowChange& change);

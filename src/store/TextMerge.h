#pragma once
// The three-way decision for one text (a description or one log line):
// what it was when it was last shared (the base), what this side holds now
// ("ours") and what the other side holds now ("theirs"). The save to P3,
// the update from a workbook, `orvane-batch status` and the review window
// all decide with this one function, so they never disagree on what is an
// edit and what is a conflict.
//
// A null text and the empty text are the same here: the table stores an
// absent log as null, P3 has no log at all, and a workbook an empty cell.

#include <QString>

namespace orvane::store {

enum class TextMerge {
    Unchanged,       // neither side changed it
    OursChanged,     // changed on our side only: ours goes to the other side
    TheirsChanged,   // changed on the other side only: theirs is taken
    BothSame,        // changed on both sides to the same text: nothing to move
    Conflict,        // changed on both sides differently
};

inline bool sameText(const QString& a, const QString& b)
{
    // QString compares a null and an empty string equal.
    return a == b;
}

// The decision from what is known of the three texts: whether each side
// still holds the base, and whether the two sides hold the same text (asked
// only where both sides changed).
constexpr TextMerge mergeKnown(bool oursIsBase, bool theirsIsBase, bool oursIsTheirs)
{
    if (oursIsBase)
        return theirsIsBase ? TextMerge::Unchanged : TextMerge::TheirsChanged;
    if (theirsIsBase)
        return TextMerge::OursChanged;
    return oursIsTheirs ? TextMerge::BothSame : TextMerge::Conflict;
}

inline TextMerge mergeText(const QString& base, const QString& ours, const QString& theirs)
{
    const bool oursIsBase = sameText(ours, base);
    const bool theirsIsBase = sameText(theirs, base);
    return mergeKnown(oursIsBase, theirsIsBase, !oursIsBase && !theirsIsBase && sameText(ours, theirs));
}

} // namespace orvane::store

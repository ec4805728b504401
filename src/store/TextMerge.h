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

inline TextMerge mergeText(const QString& base, const QString& ours, const QString& theirs)
{
    const bool oursChanged = !sameText(ours, base);
    const bool theirsChanged = !sameText(theirs, base);
    if (!oursChanged)
        return theirsChanged ? TextMerge::TheirsChanged : TextMerge::Unchanged;
    if (!theirsChanged)
        return TextMerge::OursChanged;
    return sameText(ours, theirs) ? TextMerge::BothSame : TextMerge::Conflict;
}

} // namespace orvane::store

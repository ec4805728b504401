#pragma once
// The main window's view of what changed since the import: the review of
// the table's changed texts with Revert, what a save would do ("Compare
// with P3..."), and the choice a save's conflicts leave to the user.

#include "p3link/P3Operations.h"

#include <functional>
#include <vector>

class QWidget;

namespace orvane::store {
class ActivityStore;
}

namespace orvane::shell {

// "Review changes...": activity, field, imported and current text of every
// text changed since the import; "Revert" gives the selected ones their
// imported text back, as one step that Edit > Undo takes back. Returns the
// status text of the last revert (empty when none).
QString reviewChanges(store::ActivityStore& store, QWidget* parent);

// What a dry-run save found: the texts it would write, take from P3 and
// leave in conflict.
void showComparison(const p3link::WriteBackResult& result, QWidget* parent);

// The conflicts a save left: "Overwrite in P3" hands the selected ones to
// `overwrite` (which saves them again, the local text winning); "Keep P3's
// text" takes P3's text into the table and the base for the selected ones.
void resolveConflicts(store::ActivityStore& store, const std::vector<p3link::SavedText>& conflicts, QWidget* parent,
                      const std::function<void(const std::vector<p3link::SavedText>&)>& overwrite);

// Takes P3's text of conflicts into the table (where it still holds the
// text the save met) and into the base, in one transaction.
void keepP3Texts(store::ActivityStore& store, const std::vector<p3link::SavedText>& conflicts);

} // namespace orvane::shell

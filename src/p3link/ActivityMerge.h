#pragma once
// What a save does with one activity, decided from its texts alone: the
// base (what P3 delivered at the import), the local row and what P3 holds
// now. Field by field (the description and each log 1 to 99 on its own):
// a text changed here only is written; one changed in P3 only is taken into
// the table; one changed on both sides to the same text only moves the
// base; one changed on both sides differently is a conflict, which keeps
// P3's text unless the user chose to overwrite it.
//
// Without a base (a table imported before the base was kept, or a save into
// another project) every local text goes to P3, as the plain write-back
// does. Either way an empty local description never clears P3's.

#include "store/ImportBase.h"

#include <functional>
#include <vector>

namespace orvane::p3link {

struct ActivityMerge {
    store::ActivityTexts target;   // what P3 holds when the save is done
    std::vector<int> written;      // fields whose local text goes to P3
    std::vector<int> taken;        // fields whose P3 text comes into the table
    std::vector<int> settled;      // fields changed alike on both sides: only the base follows
    std::vector<int> conflicts;    // fields left as P3 has them, the local text kept
    std::vector<int> overwritten;  // conflicts whose local text goes to P3 all the same
    // Whether P3 changes: its description, or any of its logs 1 to 99.
    bool descriptionChanges = false;
    bool logsChange = false;
};

// `overwrite(field)`: whether a conflict in `field` is to be overwritten.
ActivityMerge mergeActivity(const store::ActivityTexts* base, const store::ActivityTexts& local,
                            const store::ActivityTexts& p3, const std::function<bool(int field)>& overwrite);

} // namespace orvane::p3link

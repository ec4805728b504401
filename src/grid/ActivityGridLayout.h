#pragma once
// The layout of the activity grid: its three bands and its 148 columns, one
// per field of P3Data, as every start shows them.

#include "grid/GridViewModel.h"

namespace orvane::grid {

inline constexpr int kInfoBand = 0;   // "Activity Info", fixed left
inline constexpr int kLogBand = 1;    // "Log records", scrolls
inline constexpr int kFlagBand = 2;   // "C", fixed right

// Replaces the model's layout by the activity grid's start layout: bands,
// columns bound to the fields of P3Data (column ID = field index), widths,
// visibility, editing rights, view options and the sort by EarlyFinish.
void applyActivityLayout(GridViewModel& model);

// Captions the activity-code columns after an import: the k-th code name
// (k = 1..N, N <= 20) captions column 27 + k as " " + name and clears its
// hidden flag; the hidden flag is set on the remaining code columns.
// Visibility is untouched.
void applyActivityCodeNames(GridViewModel& model, const QStringList& codeNames);

} // namespace orvane::grid

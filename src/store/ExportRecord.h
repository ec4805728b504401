#pragma once
// The record an exported workbook carries of what it exported, so that
// reading it back can tell the edits made in the workbook from the edits
// made in the table since the export.
//
// The record is a hidden worksheet behind the sheet the user sees. Its row 0
// holds the field names of the recorded columns (ActivityID, then
// Description and the log columns the sheet shows, in sheet order); every
// further row holds one exported activity's texts exactly as the export put
// them into its cells, in the sheet's row order. Spreadsheet programs keep a
// hidden worksheet with its texts when they save the workbook again, as .xls
// or as .xlsx.

#include "store/ActivityLayout.h"

#include <QString>

namespace orvane::store {

inline QString exportRecordSheetName()
{
    return QStringLiteral("Exported texts (do not edit)");
}

// Description and the log columns: the texts an update from a workbook
// brings back, and so the texts the record keeps.
constexpr bool isWorkbookTextColumn(int column)
{
    return column == kDescriptionColumn || logNumberOfColumn(column) > 0;
}

} // namespace orvane::store

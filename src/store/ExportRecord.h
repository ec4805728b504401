#pragma once
// The record an exported workbook carries of what it exported, so that
// reading it back can tell the edits made in the workbook from the edits
// made in the table since the export.
//
// The record is a hidden worksheet behind the sheet the user sees; spreadsheet
// programs keep a hidden worksheet with its texts when they save the workbook
// again, as .xls or as .xlsx. It holds, for every exported activity, a digest
// of each text the export wrote into its Description and log cells:
//
//   row 0:  A = "Digests of the exported texts", B, C, ... = the names of the
//           recorded fields (Description and the log columns the sheet
//           shows, in sheet order);
//   row 1+: A = lines "<ActivityID>\t<entries>" joined by line feeds, as many
//           lines as fit into one cell, in the sheet's row order. An entry
//           is the recorded field's position (2 characters) and the digest
//           of its text (8 characters), for each text that is not empty; a
//           field without an entry was exported empty. An ID's backslash,
//           tab, line feed and carriage return are written as \\, \t, \n, \r.
//
// A digest stands for a text as a cell holds it (cut to what a cell holds,
// line breaks in any of their forms counted as one), so a cell that comes
// back untouched from a workbook, or a text left unchanged in the table, has
// the digest the export wrote. It takes a few bytes a text where the texts
// themselves would double the workbook, and 48 bits make two different texts
// share a digest about once in 2^48.
//
// Workbooks written before the digests carry the texts themselves instead:
// row 0 holds the field names (ActivityID first), every further row one
// activity's texts. Both are read.

#include "store/ActivityLayout.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

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

// The first cell of a record of digests.
QString exportDigestRecordTag();

// The most characters a spreadsheet cell holds, and how many of a text's
// UTF-16 characters a cell keeps: all of them, or kMaxCellChars (one less
// where that would split a surrogate pair).
inline constexpr int kMaxCellChars = 32767;
int cellTextLength(QStringView text);

// The digest of a text as a cell holds it (48 bits).
std::uint64_t exportedTextDigest(QStringView text);

// Builds the record's cells activity by activity.
class ExportDigestRecordBuilder {
public:
    explicit ExportDigestRecordBuilder(std::vector<int> fields);

    // One text per recorded field, in the record's order.
    void addActivity(QStringView activityId, const QStringView* texts);

    // Row 0 of the record, then column A of rows 1 and on (once, at the end).
    QStringList captionRow() const;
    QStringList takeLineCells();

private:
    std::vector<int> m_fields;
    QStringList m_cells;
    QString m_current;
    QString m_line;
};

// A record of digests as read back from a workbook.
class ExportDigestRecord {
public:
    // Reads it from the hidden sheet's rows; none when they hold no record of
    // digests.
    static std::optional<ExportDigestRecord> read(const QList<QStringList>& rows);

    const std::vector<int>& fields() const { return m_fields; }

    // Whether `text` is what the export wrote into a field of an activity;
    // none where the record does not hold the activity (or holds it twice)
    // or the field.
    std::optional<bool> isExported(const QString& activityId, int field, QStringView text) const;

private:
    struct Entry {
        int position;
        std::uint64_t digest;
    };
    std::vector<int> m_fields;
    std::vector<int> m_positionOfField;
    QHash<QString, std::vector<Entry>> m_entriesOfId;
};

} // namespace orvane::store

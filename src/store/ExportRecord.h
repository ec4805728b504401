#pragma once
// The record an exported workbook carries of what it exported, so that
// reading it back can tell the edits made in the workbook from the edits
// made in the table since the export.
//
// The record is a hidden worksheet behind the sheet the user sees; spreadsheet
// programs keep a hidden worksheet with its texts when they save the workbook
// again, as .xls or as .xlsx. It holds, for every exported activity, digests
// of the texts the export wrote into its Description and log cells:
//
//   row 0:  A = "Digests of the exported texts", B, C, ... = the names of the
//           recorded fields (Description and the log columns the sheet
//           shows, in sheet order);
//   row 1+: A = lines "<ActivityID>\t<row digest><hints>" joined by line
//           feeds, as many lines as fit into one cell, in the sheet's row
//           order. The row digest (8 characters, 48 bits) stands for all the
//           activity's recorded texts; a hint (one character a field) is "."
//           for a text exported empty and else 6 bits of the text's own
//           digest. The hints of the empty texts after the last text that is
//           not empty are left out. An ID's backslash, tab, line feed and carriage return are
//           written as \\, \t, \n, \r.
//
// A digest stands for a text as a cell holds it (cut to what a cell holds,
// line breaks in any of their forms counted as one), so a cell that comes
// back untouched from a workbook, or a text left unchanged in the table, has
// the digest the export wrote. Reading it back, each text that differs
// between table and workbook was exported as one of the two: the hints pick
// the likely one, and the row digest proves the choice for every field at
// once (two different choices share it about once in 2^48). That tells each
// cell's base exactly, except in an activity where some text changed on both
// sides since the export: there a text exported empty is still known, and
// every other cell in which table and workbook differ counts as changed on
// both sides. The record costs a few bytes an activity and compresses well,
// where the texts themselves would double the workbook.
//
// Workbooks written before the digests carry the texts themselves instead:
// row 0 holds the field names (ActivityID first), every further row one
// activity's texts. Both are read.

#include "store/ActivityLayout.h"

#include <QByteArray>
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

// The digest of a text as a cell holds it, and that of the empty text.
std::uint64_t exportedTextDigest(QStringView text);
std::uint64_t emptyTextDigest();

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
    std::vector<std::uint64_t> m_digests;
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

    // The recorded fields, in the record's order.
    const std::vector<int>& fields() const { return m_fields; }
    // Whether the record holds an activity (once).
    bool holds(const QString& activityId) const { return m_entryOfId.contains(activityId); }

    // What was exported for an activity, field by field in the record's
    // order, given the digests of the table's texts now and of the
    // workbook's (none for a field the workbook has no column for): into
    // `exported`, the digest of each exported text where it is known. Left
    // empty where the record does not hold the activity, or holds it twice.
    void exportedDigests(const QString& activityId, const std::vector<std::uint64_t>& table,
                         const std::vector<std::optional<std::uint64_t>>& workbook,
                         std::vector<std::optional<std::uint64_t>>& exported) const;

private:
    struct Entry {
        std::uint64_t rowDigest;
        QByteArray hints;
    };
    std::vector<int> m_fields;
    QHash<QString, Entry> m_entryOfId;
};

} // namespace orvane::store

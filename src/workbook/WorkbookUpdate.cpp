#include "workbook/WorkbookUpdate.h"

#include "common/Errors.h"
#include "store/ActivityLayout.h"
#include "store/Database.h"
#include "store/ExportRecord.h"
#include "store/SqlValues.h"
#include "store/Statement.h"
#include "store/TextMerge.h"

#include <QHash>
#include <QSet>
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <map>
#include <memory>

namespace orvane::workbook {

namespace {

// How far down the caption row is looked for (the export puts band captions
// above it; a user may add a title).
constexpr int kCaptionSearchRows = 100;
// The most characters a spreadsheet cell holds; longer logs are cut to it
// when exported.
using store::kMaxCellChars;

bool isWritableColumn(int column)
{
    return store::isWorkbookTextColumn(column);
}

struct Captions {
    int captionRow = -1;
    int idColumn = -1;
    std::vector<std::pair<int, int>> written;   // sheet column -> table column
    QStringList unrecognised;
};

Captions findCaptions(const SheetRows& sheet, const QStringList& extraCaptions)
{
    Captions captions;
    const int last = std::min<int>(int(sheet.rows.size()), kCaptionSearchRows);
    for (int r = 0; r < last && captions.captionRow < 0; ++r) {
        const QStringList& cells = sheet.rows.at(r);
        for (const QString& cell : cells)
            if (cell.trimmed() == u"ActivityID")
                captions.captionRow = r;
    }
    if (captions.captionRow < 0)
        throw FormatError(QStringLiteral("The workbook has no caption row with an ActivityID column."));
    QSet<QString> extra;
    for (const QString& c : extraCaptions)
        extra.insert(c.trimmed());
    QSet<int> seen;
    const QStringList& cells = sheet.rows.at(captions.captionRow);
    for (int c = 0; c < cells.size(); ++c) {
        const QString caption = cells.at(c).trimmed();
        if (caption.isEmpty())
            continue;
        const int field = store::fieldIndex(caption);
        if (field < 0) {
            if (!extra.contains(caption))
                captions.unrecognised << caption;
            continue;
        }
        if (seen.contains(field) && (isWritableColumn(field) || field == store::kActivityIdColumn))
            throw FormatError(QStringLiteral("The column '%1' occurs twice in the workbook's caption row.")
                                  .arg(caption));
        seen.insert(field);
        if (field == store::kActivityIdColumn)
            captions.idColumn = c;
        else if (isWritableColumn(field))
            captions.written.emplace_back(c, field);
    }
    return captions;
}

QString sameBreaks(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

// Whether a text as a workbook shows it stands for `old` unchanged. Line
// breaks may come back in another form, and a log longer than a cell holds
// comes back cut: neither is an edit, and neither may cost the stored text.
bool standsFor(const QString& text, const QString& old)
{
    if (text == old)
        return true;
    if (text.isEmpty() || old.isEmpty())
        return false;
    if (old.size() > kMaxCellChars && text.size() >= kMaxCellChars - 1 && old.startsWith(text))
        return true;
    return sameBreaks(text) == sameBreaks(old);
}

enum class CellOutcome { Unchanged, Write, KeepTable, Conflict };

// What the export's record tells of one cell: whether it recorded the cell,
// and if so whether the table and the workbook still hold what the export
// wrote. A record of texts also gives the exported text itself.
struct CellBase {
    bool recorded = false;
    bool tableIsBase = false;
    bool workbookIsBase = false;
    std::optional<QString> exported;
};

// The base as a record of texts gives it. Each side is taken as the base
// where it stands for it, so that neither another form of line breaks nor
// the export's cut counts as an edit.
CellBase baseFromText(const QString& exported, const QString& workbook, const QString& table)
{
    return {true, standsFor(exported, table), standsFor(workbook, exported), exported};
}

// What becomes of one cell, given the workbook's text, the table's text and
// what the record tells of the cell.
CellOutcome decideCell(const QString& workbook, const QString& table, const CellBase& base)
{
    if (standsFor(workbook, table))
        return CellOutcome::Unchanged;
    if (!base.recorded)
        return CellOutcome::Write;
    switch (store::mergeKnown(base.tableIsBase, base.workbookIsBase, false)) {
    case store::TextMerge::TheirsChanged:
        return CellOutcome::Write;
    case store::TextMerge::OursChanged:
        return CellOutcome::KeepTable;
    case store::TextMerge::Conflict:
        return CellOutcome::Conflict;
    case store::TextMerge::Unchanged:
    case store::TextMerge::BothSame:
        break;
    }
    return CellOutcome::Unchanged;
}

// A record of texts (workbooks exported before the digests), looked up by
// activity and field. An ID the record holds twice has no base: such a row
// is decided as without a record.
class ExportedTexts {
public:
    explicit ExportedTexts(const SheetRows& record) : m_record(record)
    {
        m_columnOfField.fill(-1);
        const QStringList captions = record.rows.value(0);
        for (int c = 0; c < captions.size(); ++c) {
            const int field = store::fieldIndex(captions.at(c));
            if (field >= 0 && m_columnOfField[std::size_t(field)] < 0)
                m_columnOfField[std::size_t(field)] = c;
        }
        const int idColumn = m_columnOfField[store::kActivityIdColumn];
        if (idColumn < 0)
            return;
        QSet<QString> twice;
        for (int r = 1; r < record.rows.size(); ++r) {
            const QString id = record.cell(r, idColumn).trimmed();
            if (id.isEmpty() || twice.contains(id))
                continue;
            if (m_rowOfId.contains(id)) {
                m_rowOfId.remove(id);
                twice.insert(id);
                continue;
            }
            m_rowOfId.insert(id, r);
        }
        m_valid = true;
    }

    // Without an ActivityID column the record is of no use.
    bool isValid() const { return m_valid; }

    // The text exported for a field of an activity; none where the activity
    // or the column was not exported.
    std::optional<QString> find(const QString& id, int field) const
    {
        const int column = m_columnOfField[std::size_t(field)];
        const auto row = m_rowOfId.constFind(id);
        if (column < 0 || row == m_rowOfId.constEnd())
            return std::nullopt;
        return m_record.cell(row.value(), column);
    }

private:
    const SheetRows& m_record;
    std::array<int, store::kColumnCount> m_columnOfField;
    QHash<QString, int> m_rowOfId;
    bool m_valid = false;
};

// The export's record in whichever form the workbook carries it, asked row
// by row.
class ExportBase {
public:
    explicit ExportBase(const SheetRows* record)
    {
        if (!record)
            return;
        m_digests = store::ExportDigestRecord::read(record->rows);
        if (m_digests) {
            m_positionOfField.fill(-1);
            for (std::size_t p = 0; p < m_digests->fields().size(); ++p)
                m_positionOfField[std::size_t(m_digests->fields()[p])] = int(p);
            return;
        }
        m_texts.emplace(*record);
        if (!m_texts->isValid())
            m_texts.reset();
    }

    bool exists() const { return m_digests || m_texts; }

    // The fields whose table texts startRow needs besides the workbook's
    // columns.
    std::vector<int> fieldsToRead() const { return m_digests ? m_digests->fields() : std::vector<int>{}; }


    // The record of digests, if the workbook carries one.
    const store::ExportDigestRecord* digests() const { return m_digests ? &*m_digests : nullptr; }

    // Takes up one activity: the digests of its table texts and of its
    // workbook texts (none where the workbook has no column), field by field
    // in the record's order.
    void startRow(const QString& id, const std::vector<std::uint64_t>& table,
                  const std::vector<std::optional<std::uint64_t>>& workbook)
    {
        m_id = id;
        m_exported.clear();
        if (m_digests)
            m_digests->exportedDigests(id, table, workbook, m_exported);
    }

    CellBase cell(int field, const QString& workbook, const QString& table) const
    {
        if (m_texts) {
            const std::optional<QString> exported = m_texts->find(m_id, field);
            return exported ? baseFromText(*exported, workbook, table) : CellBase{};
        }
        const int position = m_digests ? m_positionOfField[std::size_t(field)] : -1;
        if (position < 0 || m_exported.empty())
            return {};
        // Not proven: taken as changed on both sides.
        const std::optional<std::uint64_t> exported = m_exported[std::size_t(position)];
        if (!exported)
            return {true, false, false, std::nullopt};
        return {true, store::exportedTextDigest(table) == *exported, store::exportedTextDigest(workbook) == *exported,
                std::nullopt};
    }

private:
    std::optional<store::ExportDigestRecord> m_digests;
    std::array<int, store::kColumnCount> m_positionOfField;
    std::optional<ExportedTexts> m_texts;
    QString m_id;
    std::vector<std::optional<std::uint64_t>> m_exported;
};

// A text on one line of the preview: line breaks shown as \n, a long text
// shortened.
QString oneLine(const QString& text)
{
    constexpr int kShownChars = 200;
    QString shown = sameBreaks(text).replace(QLatin1Char('\n'), QLatin1String("\\n"));
    if (shown.size() > kShownChars)
        shown = shown.left(kShownChars) + QStringLiteral("...");
    return QLatin1Char('"') + shown + QLatin1Char('"');
}

QVariant storedValue(sqlite3_stmt* stmt, int column)
{
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_NULL:
        return QVariant();
    case SQLITE_INTEGER:
        return QVariant(qint64(sqlite3_column_int64(stmt, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(stmt, column));
    default:
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, column)),
                                 sqlite3_column_bytes(stmt, column));
    }
}

QString bracketed(int column)
{
    return QLatin1Char('[') + store::fieldName(column) + QLatin1Char(']');
}

QString tableChangedMessage()
{
    return QStringLiteral(
        "The table changed after the workbook was read: nothing was changed. Read the workbook again.");
}

bool sameChanges(const std::vector<CellChange>& a, const std::vector<CellChange>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const CellChange& x, const CellChange& y) {
        return x.rowId == y.rowId && x.column == y.column && x.stored == y.stored && x.text == y.text;
    });
}

QString listed(const QStringList& items)
{
    constexpr int kShown = 20;
    QStringList shown = items.mid(0, kShown);
    QString text = shown.join(QStringLiteral(", "));
    if (items.size() > kShown)
        text += QStringLiteral(" and %1 more").arg(items.size() - kShown);
    return text;
}

} // namespace

WorkbookForUpdate readWorkbookForUpdate(const QString& fileName)
{
    static const CellChoice choice{QStringLiteral("ActivityID"), kCaptionSearchRows, [](const QString& caption) {
                                       const int field = store::fieldIndex(caption);
                                       return field == store::kActivityIdColumn
                                              || (field >= 0 && isWritableColumn(field));
                                   }};
    SheetAndNamedSheet sheets = readFirstAndNamedSheet(fileName, choice, store::exportRecordSheetName());
    return {std::move(sheets.first), std::move(sheets.named)};
}

namespace {

UpdatePlan planWithRecord(const SheetRows& sheet, const SheetRows* exportRecord, store::Database& db,
                          const QStringList& extraCaptions, const HiddenRowTest& hidden)
{
    const Captions captions = findCaptions(sheet, extraCaptions);
    UpdatePlan plan;
    plan.unrecognisedColumns = captions.unrecognised;
    ExportBase exported(exportRecord);
    plan.withoutExportRecord = !exported.exists();

    // The workbook's rows by ID; an ID on two rows is ambiguous.
    QHash<QString, int> rowOfId;
    QSet<QString> duplicates;
    QStringList idsInOrder;
    for (int r = captions.captionRow + 1; r < sheet.rows.size(); ++r) {
        const QStringList& cells = sheet.rows.at(r);
        const QString id = cells.value(captions.idColumn).trimmed();
        if (id.isEmpty()) {
            bool content = false;
            for (const QString& cell : cells)
                content = content || !cell.trimmed().isEmpty();
            content = content || sheet.hasOtherContent(r);
            if (content)
                ++plan.rowsWithoutId;
            continue;
        }
        if (rowOfId.contains(id)) {
            if (!duplicates.contains(id)) {
                duplicates.insert(id);
                plan.duplicateIds << id;
            }
            continue;
        }
        rowOfId.insert(id, r);
        idsInOrder << id;
    }

    // The table's rows of the workbook's IDs, compared as they are read:
    // only the cells that change are kept.
    // The workbook's columns first, then the other fields the record covers.
    std::vector<int> fieldsRead;
    std::array<int, store::kColumnCount> sheetColumnOfField;
    sheetColumnOfField.fill(-1);
    for (const auto& [sheetColumn, field] : captions.written) {
        fieldsRead.push_back(field);
        sheetColumnOfField[std::size_t(field)] = sheetColumn;
    }
    for (int field : exported.fieldsToRead())
        if (sheetColumnOfField[std::size_t(field)] < 0)
            fieldsRead.push_back(field);
    std::array<int, store::kColumnCount> valueOfField;
    valueOfField.fill(-1);
    QString sql = QStringLiteral("SELECT rowid, ActivityID");
    for (std::size_t k = 0; k < fieldsRead.size(); ++k) {
        sql += QStringLiteral(", ") + bracketed(fieldsRead[k]);
        valueOfField[std::size_t(fieldsRead[k])] = 2 + int(k);
    }
    sql += QStringLiteral(" FROM P3Data");
    struct TableRow {
        qint64 rowId;
        std::vector<CellChange> changes;
        std::vector<CellConflict> conflicts;
        int keptTableEdits = 0;
        bool repeated = false;
    };
    QHash<QString, TableRow> table;
    table.reserve(rowOfId.size());
    store::Statement select(db.handle(), sql);
    const int valueCount = int(captions.written.size());
    const std::uint64_t emptyDigest = store::emptyTextDigest();
    std::vector<std::uint64_t> tableDigests;
    std::vector<std::optional<std::uint64_t>> workbookDigests;
    while (select.step()) {
        sqlite3_stmt* s = select.get();
        const QString id = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 1)),
                                             sqlite3_column_bytes(s, 1)).trimmed();
        const auto sheetRow = rowOfId.constFind(id);
        if (sheetRow == rowOfId.constEnd() || duplicates.contains(id))
            continue;
        auto it = table.find(id);
        if (it != table.end()) {
            it->repeated = true;
            it->changes.clear();
            it->conflicts.clear();
            it->keptTableEdits = 0;
            continue;
        }
        TableRow row{sqlite3_column_int64(s, 0), {}, {}, 0, false};
        const QStringList& cells = sheet.rows.at(sheetRow.value());
        if (const store::ExportDigestRecord* record = exported.digests(); record && record->holds(id)) {
            // Most recorded texts are empty on both sides.
            const std::vector<int>& fields = record->fields();
            tableDigests.resize(fields.size());
            workbookDigests.resize(fields.size());
            for (std::size_t p = 0; p < fields.size(); ++p) {
                const int value = valueOfField[std::size_t(fields[p])];
                tableDigests[p] = sqlite3_column_type(s, value) == SQLITE_NULL
                                      ? emptyDigest
                                      : store::exportedTextDigest(storedValue(s, value).toString());
                const int column = sheetColumnOfField[std::size_t(fields[p])];
                if (column < 0)
                    workbookDigests[p].reset();
                else if (column >= cells.size() || cells.at(column).isEmpty())
                    workbookDigests[p] = emptyDigest;
                else
                    workbookDigests[p] = store::exportedTextDigest(cells.at(column));
            }
        }
        exported.startRow(id, tableDigests, workbookDigests);
        for (int k = 0; k < valueCount; ++k) {
            const auto& [sheetColumn, field] = captions.written[size_t(k)];
            const QString text = cells.value(sheetColumn);
            // Most cells are empty in both.
            if (text.isEmpty() && sqlite3_column_type(s, 2 + k) == SQLITE_NULL)
                continue;
            QVariant stored = storedValue(s, 2 + k);
            const QString table = stored.isNull() ? QString() : stored.toString();
            const CellBase base = exported.cell(field, text, table);
            switch (decideCell(text, table, base)) {
            case CellOutcome::Write:
                row.changes.push_back({row.rowId, field, std::move(stored), text, id});
                break;
            case CellOutcome::Conflict:
                row.conflicts.push_back({id, field, base.exported, table, text});
                break;
            case CellOutcome::KeepTable:
                ++row.keptTableEdits;
                break;
            case CellOutcome::Unchanged:
                break;
            }
        }
        table.insert(id, std::move(row));
    }

    for (const QString& id : idsInOrder) {
        if (duplicates.contains(id))
            continue;
        const auto it = table.constFind(id);
        if (it == table.constEnd()) {
            plan.unknownIds << id;
            continue;
        }
        if (it->repeated) {
            plan.repeatedInTable << id;
            continue;
        }
        plan.conflicts.insert(plan.conflicts.end(), it->conflicts.begin(), it->conflicts.end());
        plan.keptTableEdits += it->keptTableEdits;
        if (it->changes.empty())
            continue;
        for (const CellChange& change : it->changes) {
            plan.changes.push_back(change);
            if (change.column == store::kDescriptionColumn)
                ++plan.descriptions;
            else
                ++plan.logLines;
        }
        ++plan.activities;
        if (hidden && hidden(it->rowId))
            ++plan.hiddenByFilter;
    }
    return plan;
}

} // namespace

UpdatePlan planUpdate(const WorkbookForUpdate& workbook, store::Database& db, const QStringList& extraCaptions,
                      const HiddenRowTest& hidden)
{
    return planWithRecord(workbook.sheet, workbook.exportRecord ? &*workbook.exportRecord : nullptr, db,
                          extraCaptions, hidden);
}

UpdatePlan planUpdate(const SheetRows& sheet, store::Database& db, const QStringList& extraCaptions,
                      const HiddenRowTest& hidden)
{
    return planWithRecord(sheet, nullptr, db, extraCaptions, hidden);
}

QStringList UpdatePlan::previewLines() const
{
    QStringList lines;
    lines << QStringLiteral("Activities that will change: %1").arg(activities);
    lines << QStringLiteral("Log lines that will change: %1").arg(logLines);
    lines << QStringLiteral("Descriptions that will change: %1").arg(descriptions);
    lines << QStringLiteral("Changed activities the grid's filter hides: %1").arg(hiddenByFilter);
    lines << QStringLiteral("IDs the table does not have: %1").arg(unknownIds.size())
                 + (unknownIds.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(listed(unknownIds)));
    lines << QStringLiteral("Rows without an ID: %1").arg(rowsWithoutId);
    lines << QStringLiteral("IDs on more than one row of the workbook, left alone: %1").arg(duplicateIds.size())
                 + (duplicateIds.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(listed(duplicateIds)));
    if (!repeatedInTable.isEmpty())
        lines << QStringLiteral("IDs on more than one row of the table, left alone: %1 (%2)")
                     .arg(repeatedInTable.size())
                     .arg(listed(repeatedInTable));
    lines << QStringLiteral("Columns not recognised, left alone: %1").arg(unrecognisedColumns.size())
                 + (unrecognisedColumns.isEmpty() ? QString()
                                                  : QStringLiteral(" (%1)").arg(listed(unrecognisedColumns)));
    if (withoutExportRecord)
        return lines;
    lines << QStringLiteral("Cells edited in the table since the export, kept as the table has them: %1")
                 .arg(keptTableEdits);
    lines << QStringLiteral("Cells edited both in the table and in the workbook, left as the table has them: %1")
                 .arg(conflicts.size());
    for (const CellConflict& c : conflicts)
        lines << QStringLiteral("Conflict: %1 %2: table %3, workbook %4")
                         .arg(c.activityId, store::fieldName(c.column), oneLine(c.table), oneLine(c.workbook))
                     + (c.exported ? QStringLiteral(", exported %1").arg(oneLine(*c.exported)) : QString());
    return lines;
}

QString UpdatePlan::notice() const
{
    if (!withoutExportRecord)
        return QString();
    return QStringLiteral("The workbook carries no record of what was exported: every cell that differs from the "
                          "table is taken from the workbook, also where the table was edited since.");
}

int applyUpdate(store::Database& db, const UpdatePlan& plan)
{
    store::Transaction transaction(db);
    sqlite3* handle = db.writableHandle();
    std::map<int, std::unique_ptr<store::Statement>> statements;
    int written = 0;
    for (const CellChange& change : plan.changes) {
        auto& statement = statements[change.column];
        if (!statement)
            statement = std::make_unique<store::Statement>(
                handle, QStringLiteral("UPDATE P3Data SET %1 = ?1 WHERE rowid = ?2 AND %1 IS ?3")
                            .arg(bracketed(change.column)));
        sqlite3_stmt* s = statement->get();
        statement->reset();
        store::bindValue(s, 1, change.text.isEmpty() ? QVariant() : QVariant(change.text));
        store::bindValue(s, 2, change.rowId);
        store::bindValue(s, 3, change.stored);
        while (statement->step()) {
        }
        if (sqlite3_changes(handle) != 1)
            throw DatabaseError(tableChangedMessage());
        ++written;
    }
    transaction.commit();
    return written;
}

UpdatePlan updateTable(const WorkbookForUpdate& workbook, store::Database& db, const QStringList& extraCaptions,
                       const HiddenRowTest& hidden, const UpdatePlan* confirmed)
{
    store::Transaction transaction(db);
    UpdatePlan plan = planUpdate(workbook, db, extraCaptions, hidden);
    if (confirmed && !sameChanges(plan.changes, confirmed->changes))
        throw DatabaseError(tableChangedMessage());
    applyUpdate(db, plan);
    transaction.commit();
    return plan;
}

} // namespace orvane::workbook

#include "workbook/SheetReader.h"

#include "common/Errors.h"
#include "store/CopiedValueText.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cmath>

namespace orvane::workbook {

QString shownNumber(double value)
{
    return store::displayText(value, store::FieldKind::Number);
}

QString shownDate(const QDateTime& value)
{
    return store::displayText(value, store::FieldKind::Date);
}

QDateTime dateFromSerial(double serial)
{
    const double days = std::floor(serial);
    // Whole seconds: a time typed as 10:30 is stored as a fraction that is
    // not exact in binary.
    const qint64 seconds = qint64(std::llround((serial - days) * 86400.0));
    return QDateTime(QDate(1899, 12, 30).addDays(qint64(days)), QTime(0, 0)).addSecs(seconds);
}

bool isDateFormat(int id, const QString& code)
{
    if ((id >= 14 && id <= 22) || (id >= 45 && id <= 47) || (id >= 27 && id <= 36) || (id >= 50 && id <= 58))
        return true;
    bool quoted = false;
    bool bracket = false;
    for (int i = 0; i < code.size(); ++i) {
        const QChar c = code.at(i);
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        else if (quoted)
            continue;
        else if (c == QLatin1Char('\\'))
            ++i;
        else if (c == QLatin1Char('['))
            bracket = true;
        else if (c == QLatin1Char(']'))
            bracket = false;
        else if (!bracket && QStringLiteral("dmyhsDMYHS").contains(c))
            return true;
    }
    return false;
}

void putCell(SheetRows& sheet, int row, int column, const QString& text)
{
    if (row < 0 || column < 0)
        return;
    if (sheet.rows.size() <= row) {
        if (sheet.rows.capacity() <= row)
            sheet.rows.reserve(std::max<qsizetype>(row + 1, sheet.rows.capacity() * 2));
        sheet.rows.resize(row + 1);
    }
    QStringList& cells = sheet.rows[row];
    if (cells.size() <= column) {
        // Rows tend to be as wide as the one above: grow once, not per cell.
        if (cells.capacity() <= column && row > 0)
            cells.reserve(std::max(column + 1, int(sheet.rows.at(row - 1).size())));
        cells.resize(column + 1);
    }
    cells[column] = text;
}

void HeldMemory::take(long long bytes)
{
    m_held += bytes;
    if (m_held > kMaxHeldBytes)
        throw FormatError(QStringLiteral("Cannot read the workbook '%1': its cells hold more than Orvane reads "
                                         "from one workbook (%2 MiB of text and cells).")
                              .arg(QDir::toNativeSeparators(m_fileName))
                              .arg(kMaxHeldBytes >> 20));
}

SheetBuilder::SheetBuilder(const CellChoice& choice, HeldMemory& held) : m_choice(choice), m_held(held) {}

bool SheetBuilder::wants(int row, int column)
{
    if (m_choice.marker.isEmpty() || m_captionRow < 0 || row <= m_captionRow)
        return true;
    return std::size_t(column) < m_keep.size() && m_keep[std::size_t(column)];
}

void SheetBuilder::put(int row, int column, const QString& text)
{
    // A cell outside every row (before the first, or in a row numbered 0)
    // has no place in the sheet.
    if (row < 0 || column < 0)
        return;
    // The cells a row grows by to reach the column are held too.
    const qsizetype had = row < m_sheet.rows.size() ? m_sheet.rows.at(row).size() : 0;
    m_held.take(2 * (long long)text.size() + kHeldBytesPerCell * std::max<long long>(1, column + 1 - had));
    putCell(m_sheet, row, column, text);
}

void SheetBuilder::other(int row, const QString& text)
{
    if (row < 0 || text.trimmed().isEmpty())
        return;
    // The row counts among the sheet's rows even when it holds nothing read.
    if (m_sheet.rows.size() <= row)
        m_sheet.rows.resize(row + 1);
    if (m_sheet.otherContent.size() <= std::size_t(row))
        m_sheet.otherContent.resize(std::size_t(row) + 1);
    m_sheet.otherContent[std::size_t(row)] = true;
}

bool SheetBuilder::holdsMarker(int row) const
{
    if (row < 0 || row >= m_sheet.rows.size())
        return false;
    for (const QString& cell : m_sheet.rows.at(row))
        if (cell.trimmed() == m_choice.marker)
            return true;
    return false;
}

void SheetBuilder::endRow(int row)
{
    if (m_choice.marker.isEmpty() || row >= m_choice.searchRows || !holdsMarker(row))
        return;
    if (m_captionRow >= 0) {
        // A caption row above the one the choice followed came late.
        m_disordered = m_disordered || row < m_captionRow;
        return;
    }
    m_captionRow = row;
    const QStringList& captions = m_sheet.rows.at(row);
    m_keep.assign(std::size_t(captions.size()), false);
    for (int c = 0; c < captions.size(); ++c)
        m_keep[std::size_t(c)] = m_choice.keep && m_choice.keep(captions.at(c).trimmed());
}

namespace {

enum class WorkbookKind { Xls, Xlsx };

// The kind of a workbook, told by its first bytes.
WorkbookKind kindOf(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw FormatError(QStringLiteral("Cannot open '%1': %2")
                              .arg(QDir::toNativeSeparators(fileName), file.errorString()));
    const QByteArray head = file.read(8);
    file.close();
    if (head.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"))
        return WorkbookKind::Xls;
    if (head.startsWith("PK\x03\x04"))
        return WorkbookKind::Xlsx;
    throw FormatError(QStringLiteral("'%1' is not an .xls or .xlsx workbook.")
                          .arg(QDir::toNativeSeparators(fileName)));
}

} // namespace

SheetRows readFirstSheet(const QString& fileName, const CellChoice& choice)
{
    return kindOf(fileName) == WorkbookKind::Xls ? readXlsSheet(fileName, choice) : readXlsxSheet(fileName, choice);
}

SheetAndNamedSheet readFirstAndNamedSheet(const QString& fileName, const CellChoice& choice,
                                          const QString& sheetName)
{
    return kindOf(fileName) == WorkbookKind::Xls ? readXlsSheets(fileName, choice, sheetName)
                                                 : readXlsxSheets(fileName, choice, sheetName);
}

} // namespace orvane::workbook

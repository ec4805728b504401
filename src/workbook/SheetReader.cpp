#include "workbook/SheetReader.h"

#include "common/Errors.h"
#include "store/CopiedValueText.h"

#include <QDir>
#include <QFile>

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

void putCell(SheetRows& sheet, int row, int column, const QString& text)
{
    if (row < 0 || column < 0)
        return;
    if (sheet.rows.size() <= row)
        sheet.rows.resize(row + 1);
    QStringList& cells = sheet.rows[row];
    while (cells.size() <= column)
        cells.append(QString());
    cells[column] = text;
}

SheetRows readFirstSheet(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw FormatError(QStringLiteral("Cannot open '%1': %2")
                              .arg(QDir::toNativeSeparators(fileName), file.errorString()));
    const QByteArray head = file.read(8);
    file.close();
    if (head.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"))
        return readXlsSheet(fileName);
    if (head.startsWith("PK\x03\x04"))
        return readXlsxSheet(fileName);
    throw FormatError(QStringLiteral("'%1' is not an .xls or .xlsx workbook.")
                          .arg(QDir::toNativeSeparators(fileName)));
}

} // namespace orvane::workbook

// The first worksheet of a BIFF8 workbook through libfreexl, which reads the
// records spreadsheet programs write (SST with CONTINUE, LABELSST, RK,
// MULRK, NUMBER, FORMULA results, ...).

#include "workbook/SheetReader.h"

#include "common/Errors.h"

#include <QDir>
#include <QFile>
#include <freexl.h>

namespace orvane::workbook {

namespace {

class FreeXlHandle {
public:
    explicit FreeXlHandle(const QString& fileName)
    {
        const int rc = freexl_open(QFile::encodeName(fileName).constData(), &m_handle);
        if (rc != FREEXL_OK) {
            m_handle = nullptr;
            fail(fileName, rc);
        }
    }
    ~FreeXlHandle()
    {
        if (m_handle)
            freexl_close(m_handle);
    }
    FreeXlHandle(const FreeXlHandle&) = delete;
    FreeXlHandle& operator=(const FreeXlHandle&) = delete;
    const void* get() const { return m_handle; }

    [[noreturn]] static void fail(const QString& fileName, int rc)
    {
        throw FormatError(QStringLiteral("Cannot read the workbook '%1' (error %2 of the .xls reader).")
                              .arg(QDir::toNativeSeparators(fileName))
                              .arg(rc));
    }

private:
    const void* m_handle = nullptr;
};

QString textOf(const FreeXL_CellValue& value)
{
    switch (value.type) {
    case FREEXL_CELL_INT:
        return shownNumber(value.value.int_value);
    case FREEXL_CELL_DOUBLE:
        return shownNumber(value.value.double_value);
    case FREEXL_CELL_TEXT:
    case FREEXL_CELL_SST_TEXT:
        return QString::fromUtf8(value.value.text_value);
    case FREEXL_CELL_DATE:
        return shownDate(QDateTime(QDate::fromString(QString::fromLatin1(value.value.text_value), Qt::ISODate),
                                   QTime(0, 0)));
    case FREEXL_CELL_DATETIME:
        return shownDate(QDateTime::fromString(QString::fromLatin1(value.value.text_value),
                                               QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    case FREEXL_CELL_TIME:
        return QString::fromLatin1(value.value.text_value);
    default:
        return QString();
    }
}

SheetRows readWorksheet(const FreeXlHandle& xls, const QString& fileName, unsigned short index,
                        const CellChoice& choice)
{
    int rc = freexl_select_active_worksheet(xls.get(), index);
    unsigned int rowCount = 0;
    unsigned short columnCount = 0;
    if (rc == FREEXL_OK)
        rc = freexl_worksheet_dimensions(xls.get(), &rowCount, &columnCount);
    if (rc != FREEXL_OK)
        FreeXlHandle::fail(fileName, rc);
    SheetBuilder sheet(choice);
    for (unsigned int r = 0; r < rowCount; ++r) {
        const int row = int(r);
        for (unsigned short c = 0; c < columnCount; ++c) {
            FreeXL_CellValue value;
            rc = freexl_get_cell_value(xls.get(), r, c, &value);
            if (rc != FREEXL_OK)
                FreeXlHandle::fail(fileName, rc);
            if (value.type == FREEXL_CELL_NULL)
                continue;
            if (sheet.wants(row, int(c)))
                sheet.put(row, int(c), textOf(value));
            else if (sheet.needsOther(row))
                sheet.other(row, textOf(value));
        }
        sheet.endRow(row);
    }
    return sheet.take();
}

} // namespace

SheetRows readXlsSheet(const QString& fileName, const CellChoice& choice)
{
    const FreeXlHandle xls(fileName);
    return readWorksheet(xls, fileName, 0, choice);
}

SheetAndNamedSheet readXlsSheets(const QString& fileName, const CellChoice& choice, const QString& sheetName)
{
    const FreeXlHandle xls(fileName);
    SheetAndNamedSheet sheets{readWorksheet(xls, fileName, 0, choice), std::nullopt};
    unsigned int count = 0;
    int rc = freexl_get_info(xls.get(), FREEXL_BIFF_SHEET_COUNT, &count);
    for (unsigned int i = 1; rc == FREEXL_OK && i < count && i <= 0xFFFF; ++i) {
        const char* name = nullptr;
        rc = freexl_get_worksheet_name(xls.get(), (unsigned short)i, &name);
        if (rc == FREEXL_OK && name && QString::fromUtf8(name) == sheetName) {
            sheets.named = readWorksheet(xls, fileName, (unsigned short)i, CellChoice{});
            break;
        }
    }
    if (rc != FREEXL_OK)
        FreeXlHandle::fail(fileName, rc);
    return sheets;
}

} // namespace orvane::workbook

#include "export/ExportProvider.h"

#include "export/TextCodec.h"
#include "export/XLSExportProvider.h"
#include "store/ExportRecord.h"

#include <QFileInfo>

namespace orvane::exporting {

namespace {
const QDate kSerialDayZero(1899, 12, 30);
} // namespace

double dateSerial(const QDate& date)
{
    return double(kSerialDayZero.daysTo(date));
}

double timeSerial(const QTime& time)
{
    return time.msecsSinceStartOfDay() / 86400000.0;
}

double dateTimeSerial(const QDateTime& value)
{
    return dateSerial(value.date()) + timeSerial(value.time());
}

std::size_t cellTextLength(const char16_t* chars, std::size_t count)
{
    return std::size_t(store::cellTextLength(QStringView(chars, qsizetype(count))));
}

int exportKindForFileName(const QString& fileName)
{
    return QFileInfo(fileName).suffix().compare(QStringLiteral("xlsx"), Qt::CaseInsensitive) == 0 ? kExportXlsx
                                                                                                 : kExportXls;
}

QString exportOutputName(const QString& fileName)
{
    return exportKindForFileName(fileName) == kExportXlsx ? fileName : TcxXLSExportProvider::OutputNameFor(fileName);
}

void IcxExportProvider::PutDisplayText(int column, int row, QStringView text)
{
    if (text.isEmpty())
        return;
    QByteArray ansi;
    ansi.reserve(text.size());
    if (encodeAnsi(text, ansi))
        PutText(column, row, ansi);
    else
        PutWideText(column, row, text);
}

} // namespace orvane::exporting

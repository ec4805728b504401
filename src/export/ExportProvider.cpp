#include "export/ExportProvider.h"

#include "export/TextCodec.h"

namespace orvane::exporting {

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

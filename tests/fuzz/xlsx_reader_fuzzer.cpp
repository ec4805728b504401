// Fuzzes the .xlsx reader. The input holds the XML parts themselves, so
// that mutations reach the XML rather than break the zip's checksums:
// the worksheet, then the shared strings, the styles, the workbook, its
// relationships and a second worksheet, each after a line "@@part@@"
// (see xlsx_reader.dict). A part left out gets a plain one; an empty one
// stays out of the zip. The zip is written around them for every input.

#include "WorkbookFuzzSupport.h"

#include <QFile>
#include <QList>
#include <zip.h>

#include <cstdint>
#include <cstdlib>

using namespace orvane;

namespace {

const char* const kDefaults[] = {
    "<worksheet><sheetData/></worksheet>",
    "",
    "",
    "<workbook xmlns:r=\"r\"><sheets><sheet name=\"Sheet\" r:id=\"rId1\"/>"
    "<sheet name=\"Exported texts (do not edit)\" r:id=\"rId2\"/></sheets></workbook>",
    "<Relationships><Relationship Id=\"rId1\" Target=\"worksheets/sheet1.xml\"/>"
    "<Relationship Id=\"rId2\" Target=\"worksheets/sheet2.xml\"/></Relationships>",
    "<worksheet><sheetData/></worksheet>",
};
const char* const kNames[] = {
    "xl/worksheets/sheet1.xml", "xl/sharedStrings.xml", "xl/styles.xml", "xl/workbook.xml",
    "xl/_rels/workbook.xml.rels", "xl/worksheets/sheet2.xml",
};

QList<QByteArray> splitParts(const QByteArray& input)
{
    static const QByteArray separator("\n@@part@@\n");
    QList<QByteArray> parts;
    for (qsizetype from = 0;;) {
        const qsizetype at = input.indexOf(separator, from);
        parts.append(input.mid(from, at < 0 ? -1 : at - from));
        if (at < 0)
            return parts;
        from = at + separator.size();
    }
}

// The parts must live until zip_close(), which reads them.
void writeZip(const QString& path, QList<QByteArray> parts)
{
    for (qsizetype i = parts.size(); i < 6; ++i)
        parts.append(QByteArray(kDefaults[i]));
    int error = 0;
    zip_t* zip = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!zip)
        std::abort();
    for (int i = 0; i < 6; ++i) {
        const QByteArray& bytes = parts.at(i);
        if (bytes.isEmpty())
            continue;
        zip_source_t* source = zip_source_buffer(zip, bytes.constData(), zip_uint64_t(bytes.size()), 0);
        const zip_int64_t index = zip_file_add(zip, kNames[i], source, ZIP_FL_OVERWRITE);
        if (index < 0 || zip_set_file_compression(zip, zip_uint64_t(index), ZIP_CM_STORE, 0) < 0)
            std::abort();
    }
    if (zip_close(zip) != 0)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString path = fuzz::scratchFile("fuzz.xlsx");
    writeZip(path, splitParts(input));
    fuzz::readWorkbookBothWays(path);
    return 0;
}

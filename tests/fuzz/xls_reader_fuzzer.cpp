// Fuzzes the .xls reader: the compound document, its Workbook stream and
// the records in it, from the bytes of a whole file.

#include "WorkbookFuzzSupport.h"

#include <cstdint>

using namespace orvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = fuzz::scratchFile("fuzz.xls");
    fuzz::writeFile(path, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    fuzz::readWorkbookBothWays(path);
    return 0;
}

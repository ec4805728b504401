#include "export/TextCodec.h"

#include "common/Windows1252.h"

#include <QStringDecoder>

namespace orvane::exporting {

namespace {

const char* codePageName(int codePage)
{
    switch (codePage) {
    case 932: return "Shift_JIS";
    case 949: return "windows-949";
    case 950: return "Big5";
    case 874: return "windows-874";
    case 1250: return "windows-1250";
    case 1251: return "windows-1251";
    case 1253: return "windows-1253";
    case 1254: return "windows-1254";
    case 1255: return "windows-1255";
    case 1256: return "windows-1256";
    case 1257: return "windows-1257";
    default: return nullptr;
    }
}

} // namespace

int codePageForCharset(int charset)
{
    switch (charset & 0xFF) {
    case 128: return 932;
    case 129: case 130: return 949;
    case 134: case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    default: return kAnsiCodePage;
    }
}

bool encodeAnsi(QStringView text, QByteArray& out)
{
    return encodeWindows1252(text, out);
}

QString decodeCodePage(QByteArrayView bytes, int codePage)
{
    if (codePage != kAnsiCodePage) {
        if (const char* name = codePageName(codePage)) {
            QStringDecoder decoder(name);
            if (decoder.isValid())
                return decoder.decode(bytes);
        }
    }
    return decodeWindows1252(bytes.data(), bytes.size());
}

} // namespace orvane::exporting

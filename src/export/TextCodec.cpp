#include "export/TextCodec.h"

#include <QStringDecoder>

namespace orvane::exporting {

namespace {

// Windows-1252 bytes 0x80 to 0x9F; 0 where the code page has no character.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178,
};

int cp1252ByteOf(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (int i = 0; i < 32; ++i)
        if (kCp1252High[i] == c && c != 0)
            return 0x80 + i;
    return -1;
}

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
    const qsizetype start = out.size();
    const qsizetype n = text.size();
    out.resize(start + n);
    char* p = out.data() + start;
    const char16_t* in = reinterpret_cast<const char16_t*>(text.utf16());
    // Plain ASCII, by far the most common, in two loops the compiler can
    // vectorise.
    char16_t any = 0;
    for (qsizetype i = 0; i < n; ++i)
        any |= in[i];
    if (any < 0x80) {
        for (qsizetype i = 0; i < n; ++i)
            p[i] = char(in[i]);
        return true;
    }
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c < 0x80) {
            *p++ = char(c);
            continue;
        }
        const int b = cp1252ByteOf(c);
        if (b < 0)
            return false;
        *p++ = char(b);
    }
    return true;
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
    QString out(bytes.size(), Qt::Uninitialized);
    char16_t* p = reinterpret_cast<char16_t*>(out.data());
    for (const char b : bytes) {
        const auto u = std::uint8_t(b);
        // Bytes the code page leaves undefined map to the same code point, as
        // the Windows conversion does.
        *p++ = (u >= 0x80 && u < 0xA0 && kCp1252High[u - 0x80]) ? kCp1252High[u - 0x80] : char16_t(u);
    }
    return out;
}

} // namespace orvane::exporting

#pragma once
// The Windows ANSI code page (Windows-1252) both ways: the 8-bit text of the
// export's workbook and of saved filters.

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <cstdint>

namespace orvane {

// The characters of bytes 0x80 to 0x9F; 0 where the code page has none.
inline constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178,
};

// The byte of a character, or -1 when the code page has none for it.
inline int windows1252ByteOf(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (int i = 0; i < 32; ++i)
        if (kWindows1252High[i] == c && c != 0)
            return 0x80 + i;
    return -1;
}

// Appends text in Windows-1252 to out. Returns false, leaving out in an
// unspecified state, when a character has no Windows-1252 byte.
inline bool encodeWindows1252(QStringView text, QByteArray& out)
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
    for (qsizetype i = 0; i < n; ++i) {
        const int b = windows1252ByteOf(in[i]);
        if (b < 0)
            return false;
        p[i] = char(b);
    }
    return true;
}

// Widens Windows-1252 text. Bytes the code page leaves undefined map to the
// same code point, as the Windows conversion does.
inline QString decodeWindows1252(const char* bytes, qsizetype size)
{
    QString out(size, Qt::Uninitialized);
    char16_t* p = reinterpret_cast<char16_t*>(out.data());
    for (qsizetype i = 0; i < size; ++i) {
        const auto u = std::uint8_t(bytes[i]);
        *p++ = (u >= 0x80 && u < 0xA0 && kWindows1252High[u - 0x80]) ? kWindows1252High[u - 0x80] : char16_t(u);
    }
    return out;
}

} // namespace orvane

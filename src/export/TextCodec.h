#pragma once
// 8-bit text of the export: the ANSI code page (Windows-1252) both ways, and
// the code pages that GDI character sets stand for.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace orvane::exporting {

inline constexpr int kAnsiCodePage = 1252;

// The code page a GDI character set stands for; the ANSI code page for any
// set without one of its own.
int codePageForCharset(int charset);

// Appends text in Windows-1252 to out. Returns false, leaving out in an
// unspecified state, when a character has no Windows-1252 byte.
bool encodeAnsi(QStringView text, QByteArray& out);

// Widens 8-bit text of a code page to UTF-16.
QString decodeCodePage(QByteArrayView bytes, int codePage);

} // namespace orvane::exporting

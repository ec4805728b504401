#pragma once
// UTF-8 bytes to a QString, character for character. QString::fromUtf8
// drops a byte order mark at the start of the bytes; a log or description
// that begins with U+FEFF must keep it on its way from P3 to the table and
// back, so every text value read from storage goes through here.

#include <QByteArrayView>
#include <QString>

namespace orvane {

inline QString textFromUtf8(QByteArrayView utf8)
{
    QString text = QString::fromUtf8(utf8);
    if (utf8.startsWith("\xEF\xBB\xBF"))
        text.prepend(QChar(0xFEFF));
    return text;
}

inline QString textFromUtf8(const char* data, qsizetype size)
{
    return data ? textFromUtf8(QByteArrayView(data, size)) : QString();
}

} // namespace orvane

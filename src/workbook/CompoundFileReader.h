#pragma once
// Reads one stream out of a compound document (the container of .xls
// workbooks, versions 3 and 4): follows the allocation tables from the
// header, through the directory, to the stream's sectors or mini sectors.
// Every sector number and chain is checked against the file, so a damaged
// or hostile container ends in a message, never in a read outside the file
// or an endless chain.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace orvane::workbook {

// The container is not a compound document or is damaged; why() says how,
// in words for the user.
struct CompoundFileDamage {
    QString why;
};

// The bytes of the first stream whose name equals one of `names` (compared
// without case, as the container does), searched in that order; the empty
// array with *foundName left empty when none is there. Throws
// CompoundFileDamage.
QByteArray readCompoundStream(const QByteArray& file, const QStringList& names, QString* foundName);

} // namespace orvane::workbook

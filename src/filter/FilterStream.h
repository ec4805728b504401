#pragma once
// The byte form of the filter criteria, used by ".flt" files and the view's
// stored criteria. Little-endian throughout:
//   marker -1 (int32), root kind (byte), child count (int32), children;
//   node: 1 = group (kind byte, count int32, children)
//         0 = condition (operator kind byte, display text as int32 length +
//             8-bit bytes, column ID int32, tagged value).
// Value tags: 0 null, 13 empty, 2/3/4 int8/16/32, 15 float, 5 80-bit
// extended, 16 currency (int64 of 1/10000), 17 date (double, days from
// 1899-12-30), 8/9 false/true, 6 text (byte length), 12 text (int32
// length), 18 UTF-16 text (int32 length in characters), 1 array (count as a
// 2/3/4 tagged integer, then tagged elements).
// 8-bit texts are in the Windows code page (Windows-1252), as in the export;
// a display text character the code page lacks is written as "?" (a value
// with such a character goes as UTF-16 and is kept exactly).
// A stream without the -1 marker starts with the root's child count.

#include "filter/FilterCriteria.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>

namespace orvane::filter {

// Writes the whole tree. Throws FormatError("Stream write error") when a
// value cannot be written (no text form, NaN or infinite) or the device
// refuses the bytes.
void WriteCriteria(const TcxDBDataFilterCriteria& criteria, QIODevice& device);
QByteArray WriteCriteria(const TcxDBDataFilterCriteria& criteria);

// Replaces the tree by the one read (root kind, groups and conditions,
// added through AddGroup/AddCondition inside one change lock). Malformed
// bytes throw FormatError("Stream read error") and leave the criteria as
// they were: an unknown tag, a NaN or infinite number, bytes after the end
// of the tree. A column ID that the column source does not know throws
// FormatError("Can't build filter from source"). Reads only the bytes it is
// given.
void ReadCriteria(TcxDBDataFilterCriteria& criteria, const QByteArray& bytes);
void ReadCriteria(TcxDBDataFilterCriteria& criteria, QIODevice& device);

// ".flt" files. File system errors throw OrvaneError with the file's name.
void saveCriteriaFile(const TcxDBDataFilterCriteria& criteria, const QString& path);
void loadCriteriaFile(TcxDBDataFilterCriteria& criteria, const QString& path);

// 80-bit extended <-> double (exposed for tests).
QByteArray extendedFromDouble(double value);
double doubleFromExtended(const char bytes[10]);

} // namespace orvane::filter

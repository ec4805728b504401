#pragma once
// Helpers shared by the export tests: little-endian reads, temporary files and
// running the independent Python readers.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdint>

namespace exporttest {

inline std::uint32_t u32(const QByteArray& b, qsizetype at)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | std::uint8_t(b[at + i]);
    return v;
}

inline std::uint16_t u16(const QByteArray& b, qsizetype at)
{
    return std::uint16_t(std::uint8_t(b[at]) | (std::uint8_t(b[at + 1]) << 8));
}

QByteArray readFile(const QString& path);

struct ReaderResult {
    int exitCode = -1;
    QString output;   // stdout and stderr together
};

// Runs /usr/bin/python3 checks/<script> args... and returns its exit code.
ReaderResult runPythonCheck(const QString& script, const QStringList& args);

} // namespace exporttest

#include <vector>

namespace exporttest {

struct Record {
    std::uint16_t type = 0;
    QByteArray data;
    qsizetype offset = 0;   // in the Workbook stream
};

struct Workbook {
    QByteArray file;
    QByteArray stream;        // the Workbook stream
    qsizetype streamStart = 0;
    std::vector<Record> records;   // the globals and the first worksheet
    std::vector<Record> later;     // the records of further worksheets

    // Records of one type, in order.
    std::vector<Record> all(std::uint16_t type) const;
    const Record* first(std::uint16_t type) const;
};

// Reads an .xls written by the exporter: locates the Workbook stream through
// the directory entry and splits it into records. Empty on a malformed file.
Workbook readWorkbook(const QString& path);

} // namespace exporttest

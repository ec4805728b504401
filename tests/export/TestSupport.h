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

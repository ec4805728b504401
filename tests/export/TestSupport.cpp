#include "TestSupport.h"

#include <QFile>
#include <QProcess>

namespace exporttest {

QByteArray readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

ReaderResult runPythonCheck(const QString& script, const QStringList& args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("/usr/bin/python3"),
            QStringList{QStringLiteral(ORVANE_EXPORT_CHECKS_DIR "/") + script} + args);
    ReaderResult r;
    if (!p.waitForFinished(300000)) {
        r.output = QStringLiteral("python3 did not finish: ") + p.errorString();
        return r;
    }
    r.output = QString::fromUtf8(p.readAll());
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return r;
}

} // namespace exporttest

namespace exporttest {

std::vector<Record> Workbook::all(std::uint16_t type) const
{
    std::vector<Record> out;
    for (const auto& r : records)
        if (r.type == type)
            out.push_back(r);
    return out;
}

const Record* Workbook::first(std::uint16_t type) const
{
    for (const auto& r : records)
        if (r.type == type)
            return &r;
    return nullptr;
}

Workbook readWorkbook(const QString& path)
{
    Workbook wb;
    wb.file = readFile(path);
    if (wb.file.size() < 2048)
        return wb;
    const qsizetype dir = 512 * (u32(wb.file, 48) + 1);
    const std::uint32_t size = u32(wb.file, dir + 128 + 120);
    const std::uint32_t start = u32(wb.file, dir + 128 + 116);
    wb.streamStart = size < 4096 ? 2048 : qsizetype(512) * (start + 1);
    wb.stream = wb.file.mid(wb.streamStart, size);
    qsizetype at = 0;
    int ends = 0;   // EOF records passed: the globals', then the first sheet's
    while (at + 4 <= wb.stream.size()) {
        Record r;
        r.type = u16(wb.stream, at);
        const std::uint16_t len = u16(wb.stream, at + 2);
        r.offset = at;
        r.data = wb.stream.mid(at + 4, len);
        (ends < 2 ? wb.records : wb.later).push_back(r);
        ends += r.type == 0x000A;
        at += 4 + len;
    }
    return wb;
}

} // namespace exporttest

#pragma once
// Shared by the P3 benchmarks: their command line and the generated project.

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>

namespace orvane::bench {

// "--activities N" (default 100,000) and "--keep DIR" (a folder to keep the
// generated projects in between runs; empty: a temporary one).
struct BenchOptions {
    int activities = 100000;
    QString keep;
};

inline BenchOptions parseBenchOptions(const QStringList& args)
{
    BenchOptions options;
    for (int i = 0; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--activities"))
            options.activities = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--keep"))
            options.keep = args[i + 1];
    }
    return options;
}

// Generates the project `group` of `activities` activities into `folder`
// with the samples' generator, unless the folder holds it already (a kept
// folder is used again as it is). More generator options go in `extra`.
inline bool generateProject(const QString& folder, const QString& group, int activities,
                            const QStringList& extra = {})
{
    if (QFileInfo::exists(folder + QLatin1Char('/') + group + QStringLiteral("dir.p3")))
        return true;
    return QProcess::execute(QStringLiteral("/usr/bin/python3"),
                             QStringList{QStringLiteral(ORVANE_GENERATOR), folder, QStringLiteral("--group"), group,
                                         QStringLiteral("--activities"), QString::number(activities)}
                                 + extra)
           == 0;
}

// Resident memory of this process in KiB (0 where /proc is missing).
inline long rssKiB()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

} // namespace orvane::bench

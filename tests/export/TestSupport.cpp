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

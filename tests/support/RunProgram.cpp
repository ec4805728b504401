#include "support/RunProgram.h"

#include <QProcess>

namespace orvane::testing {

ProgramResult runProgram(const QString& program, const QStringList& args, int timeoutMs)
{
    QProcess process;
    process.start(program, args);
    ProgramResult result;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        result.err = QStringLiteral("did not finish: ") + process.errorString();
        return result;
    }
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return result;
}

} // namespace orvane::testing

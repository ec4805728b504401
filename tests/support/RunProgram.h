#pragma once
// Runs a program to its end and collects what it printed, for tests that
// check command-line tools from outside.

#include <QString>
#include <QStringList>

namespace orvane::testing {

struct ProgramResult {
    int exitCode = -1;   // -1 when it crashed or did not finish
    QString out;
    QString err;
};

ProgramResult runProgram(const QString& program, const QStringList& args, int timeoutMs = 30000);

} // namespace orvane::testing

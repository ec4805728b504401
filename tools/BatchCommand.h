#pragma once
// orvane-batch subcommands register themselves here: each subcommand lives in
// its own file under tools/batch/ and declares one static BatchCommand.

#include "common/EscapedText.h"

#include <QString>
#include <QStringList>

namespace orvane::batch {

// Exit statuses shared by every subcommand.
inline constexpr int kExitOk = 0;
inline constexpr int kExitError = 1;   // the message the window would show
inline constexpr int kExitUsage = 2;

struct BatchCommand {
    using Runner = int (*)(const QStringList& args);
    BatchCommand(const char* name, const char* usage, Runner run);
    const char* name;
    const char* usage;
    Runner run;
};

// Writes a line to standard output / standard error (UTF-8).
void printLine(const QString& text);
void printError(const QString& text);

// Removes "--name VALUE" from args and returns VALUE (empty when absent).
// Sets *present when given. Throws UsageError when the value is missing.
QString takeOption(QStringList& args, const QString& name, bool* present = nullptr);

// Removes every "--name" from args; true when there was one.
bool takeFlag(QStringList& args, const QString& name);

using orvane::escapedCellText;

struct UsageError {
    QString message;
};

} // namespace orvane::batch

#pragma once
// The error hierarchy shared by every subsystem. Each error carries a
// user-readable message; the main window shows it in the common error box.

#include <QString>
#include <exception>
#include <string>

namespace orvane {

// Base of every error Orvane raises on purpose. what() gives the UTF-8 form
// for logs and the command-line tool; message() is what the user sees.
class OrvaneError : public std::exception {
public:
    explicit OrvaneError(QString message)
        : m_message(std::move(message)), m_utf8(m_message.toStdString()) {}
    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.c_str(); }

private:
    QString m_message;
    std::string m_utf8;
};

// The local database engine refused something; the message is the engine's.
class DatabaseError : public OrvaneError {
public:
    using OrvaneError::OrvaneError;
};

// A call on the P3 automation server failed; the message is the server's own.
class AutomationError : public OrvaneError {
public:
    using OrvaneError::OrvaneError;
};

// Failures of P3 operations that Orvane itself detects (cancelled picker,
// project that cannot be opened).
class EP3EngineError : public OrvaneError {
public:
    using OrvaneError::OrvaneError;
};

// Spreadsheet export errors.
class EcxGridExport : public OrvaneError {
public:
    using OrvaneError::OrvaneError;
};

class EcxExportData : public OrvaneError {
public:
    using OrvaneError::OrvaneError;
};

// A malformed input file or stream (filter files and the like).
class FormatError : public OrvaneError {
public:
    using OrvaneError::OrvaneError;
};

} // namespace orvane

#pragma once
// Every file Orvane writes over (exported workbooks, saved filters) is
// written whole to a new file in the same folder and put in the place of the
// old one only when complete: a failed write, a full disk or a killed process
// leaves the old file as it was (and no half-written one in its place).

#include "common/Errors.h"

#include <QSaveFile>
#include <QString>

namespace orvane {

// A file could not be created or written; the message says which file and
// why, in words ("The disk is full: ..." when there was no room).
class FileWriteError : public OrvaneError {
public:
    using OrvaneError::OrvaneError;
};

// Whether an operating system error number (errno, or GetLastError's on
// Windows) says the disk or the user's quota is full.
bool isNoSpaceError(int systemError);
// The same of the last error, asked right after the call that failed.
bool lastSystemErrorIsNoSpace();


// The message for a file that could not be written: the disk-full text when
// noSpace, else the system's reason.
QString fileWriteFailure(const QString& fileName, const QString& reason, bool noSpace);

class ReplacingFile {
public:
    // Opens the new file beside `fileName`. Throws FileWriteError when it
    // cannot be made (a read-only folder, a read-only file of that name).
    explicit ReplacingFile(const QString& fileName);
    // Without commit() the new file is removed and the old one stays.
    ~ReplacingFile() = default;
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    const QString& fileName() const { return m_fileName; }
    // For writers that write themselves; their failures go to fail().
    QFileDevice& device() { return m_file; }

    // Writes all of the bytes or throws FileWriteError.
    void write(const char* data, qint64 size);
    // Moves to a position of the new file (to fill in a field written
    // earlier) or throws FileWriteError.
    void seek(qint64 position);
    // Puts the complete file in place of the old one, or throws
    // FileWriteError and leaves the old one.
    void commit();

    // Throws the FileWriteError for a failed call on device(); to be called
    // straight after it, while the system's error still stands.
    [[noreturn]] void fail();

private:
    QString m_fileName;
    QSaveFile m_file;
};

} // namespace orvane

#include "common/ReplacingFile.h"

#include <QDir>

#include <cerrno>
#ifdef _WIN32
#include <windows.h>
#endif

namespace orvane {

bool isNoSpaceError(int systemError)
{
#ifdef _WIN32
    if (systemError == ERROR_DISK_FULL || systemError == ERROR_HANDLE_DISK_FULL)
        return true;
#endif
#ifdef EDQUOT
    if (systemError == EDQUOT)
        return true;
#endif
    return systemError == ENOSPC;
}

bool lastSystemErrorIsNoSpace()
{
#ifdef _WIN32
    if (isNoSpaceError(int(GetLastError())))
        return true;
#endif
    return isNoSpaceError(errno);
}

QString fileWriteFailure(const QString& fileName, const QString& reason, bool noSpace)
{
    const QString name = QDir::toNativeSeparators(fileName);
    if (noSpace)
        return QStringLiteral("The disk is full: \"%1\" could not be written; a file of that name that was there "
                              "before is left as it was")
            .arg(name);
    return QStringLiteral("Cannot write file \"%1\": %2; a file of that name that was there before is left as it was")
        .arg(name, reason);
}

ReplacingFile::ReplacingFile(const QString& fileName) : m_fileName(fileName), m_file(fileName)
{
    // Writes go to the disk as they are made, so that a full disk shows at
    // the write that found it, with the system's reason still at hand.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        const bool noSpace = lastSystemErrorIsNoSpace();
        if (noSpace)
            throw FileWriteError(fileWriteFailure(m_fileName, m_file.errorString(), true));
        throw FileWriteError(QStringLiteral("Cannot create file \"%1\": %2")
                                 .arg(QDir::toNativeSeparators(m_fileName), m_file.errorString()));
    }
}

void ReplacingFile::fail()
{
    const bool noSpace = lastSystemErrorIsNoSpace();
    const QString reason = m_file.errorString();
    m_file.cancelWriting();
    throw FileWriteError(fileWriteFailure(m_fileName, reason, noSpace));
}

void ReplacingFile::write(const char* data, qint64 size)
{
    while (size > 0) {
        const qint64 done = m_file.write(data, size);
        if (done <= 0)
            fail();
        data += done;
        size -= done;
    }
}

void ReplacingFile::seek(qint64 position)
{
    if (!m_file.seek(position))
        fail();
}

void ReplacingFile::commit()
{
    if (!m_file.commit()) {
        const bool noSpace = lastSystemErrorIsNoSpace();
        throw FileWriteError(fileWriteFailure(m_fileName, m_file.errorString(), noSpace));
    }
}

} // namespace orvane

#pragma once
// The sample P3 projects for tests: where they are, and a private copy.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

namespace orvane::testing {

#ifdef ORVANE_SAMPLES_DIR
// The sample projects folder, made absolute when the program starts: tests
// that work in a temporary directory would otherwise read a path without a
// drive letter (Windows) against the wrong drive.
inline const QString kSampleProjects =
    QFileInfo(QStringLiteral(ORVANE_SAMPLES_DIR "/projects")).absoluteFilePath();
#endif

// Copies the files of a folder; false when the source is missing or empty,
// so that a wrong path fails the test instead of giving an empty copy.
inline bool copyFolder(const QString& from, const QString& to)
{
    QDir().mkpath(to);
    const QDir source(from);
    if (source.isEmpty(QDir::Files))
        return false;
    for (const QString& name : source.entryList(QDir::Files)) {
        if (!QFile::copy(source.filePath(name), QDir(to).filePath(name)))
            return false;
        QFile(QDir(to).filePath(name)).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }
    return true;
}

}  // namespace orvane::testing

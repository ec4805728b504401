#include "p3link/ProjectFolder.h"

#include <QDir>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace orvane::p3link {

QString shortPathName(const QString& path)
{
#ifdef Q_OS_WIN
    const std::wstring wide = QDir::toNativeSeparators(path).toStdWString();
    const DWORD needed = GetShortPathNameW(wide.c_str(), nullptr, 0);
    if (needed == 0)
        return QString();
    std::wstring buffer(needed, L'\0');
    const DWORD written = GetShortPathNameW(wide.c_str(), buffer.data(), needed);
    if (written == 0 || written >= needed)
        return QString();
    buffer.resize(written);
    return QString::fromStdWString(buffer);
#else
    return path;
#endif
}

QString longPathName(const QString& path)
{
#ifdef Q_OS_WIN
    const std::wstring wide = QDir::toNativeSeparators(path).toStdWString();
    const DWORD needed = GetLongPathNameW(wide.c_str(), nullptr, 0);
    if (needed == 0)
        return path;
    std::wstring buffer(needed, L'\0');
    const DWORD written = GetLongPathNameW(wide.c_str(), buffer.data(), needed);
    if (written == 0 || written >= needed)
        return path;
    buffer.resize(written);
    return QString::fromStdWString(buffer);
#else
    return path;
#endif
}

QString findProjectDirectory(const QString& folder)
{
    if (folder.isEmpty())
        return QString();
    QDir dir(folder);
    if (!dir.exists())
        return QString();
    // Name filters of QDir match case-insensitively unless asked otherwise.
    dir.setNameFilters({QString::fromLatin1(kProjectDirectoryPattern)});
    dir.setFilter(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : dir.entryInfoList()) {
        if (!entry.isDir())
            return shortPathName(folder);
    }
    return QString();
}

QVector<ProjectListRow> listProjects(const P3Object& session)
{
    namespace m = member;
    QVector<ProjectListRow> rows;
    forEachElement(session.object(m::ProjectAbstracts), [&](const P3Object& abstract) {
        const QString group = abstract.text(m::ProjectGroupName);
        const QString name = abstract.text(m::ProjectName);
        rows.push_back({listCell(group), listCell(name != group ? name : QString()),
                        listCell(abstract.text(m::Title))});
    });
    return rows;
}

} // namespace orvane::p3link

#include "shell/HelpDocument.h"

#include <QDir>
#include <QFileInfo>

namespace orvane::shell {

QString helpDocument(const QString& programFolder)
{
    const QDir folder(programFolder);
    for (const char* candidate : {"orvane.chm", "guide/index.html", "../share/orvane/guide/index.html"}) {
        const QFileInfo file(folder.filePath(QString::fromLatin1(candidate)));
        if (file.isFile())
            return QDir::cleanPath(file.absoluteFilePath());
    }
    return QString();
}

} // namespace orvane::shell

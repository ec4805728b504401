#pragma once
// The file-system side of choosing a P3 project: recognising a project
// folder by its "*dir.p3" file, its short path, and listing the project
// abstracts the session reports for it. Shared by the project picker and
// orvane-batch.

#include "p3link/P3Object.h"

#include <QString>
#include <QVector>

namespace orvane::p3link {

inline constexpr char kProjectDirectoryPattern[] = "*dir.p3";

// The short (8.3) form of a path. On systems without short names it is the
// path itself; empty when the system gives no short form.
QString shortPathName(const QString& path);
// The long form of a path that may hold short (8.3) names, as the folder
// tree shows it; the path itself elsewhere or when the system has none.
QString longPathName(const QString& path);

// When folder holds a file (not a directory) matching "*dir.p3", compared
// case-insensitively, returns the short form of the folder; empty otherwise.
QString findProjectDirectory(const QString& folder);

// One row of the picker's project list. Cells are never empty: an empty
// text is stored as a single blank, and the subproject of a project without
// subprojects is a blank.
struct ProjectListRow {
    QString group;
    QString subproject;
    QString title;
};

// A cell value as the list stores it: an empty text becomes " ".
inline QString listCell(const QString& text) { return text.isEmpty() ? QStringLiteral(" ") : text; }

// Walks session.ProjectAbstracts from the first element until the cursor
// yields nothing and returns one row per abstract.
QVector<ProjectListRow> listProjects(const P3Object& session);

} // namespace orvane::p3link

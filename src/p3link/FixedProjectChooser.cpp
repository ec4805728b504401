#include "p3link/FixedProjectChooser.h"

#include "p3link/ProjectFolder.h"

namespace orvane::p3link {

std::optional<ProjectChoice> FixedProjectChooser::chooseProject(const P3Object& session)
{
    m_projectPath = findProjectDirectory(m_folder);
    const QString subCell = listCell(m_subproject);
    if (!m_projectPath.isEmpty()) {
        session.put(member::CurrentProjectPath, m_projectPath);
        for (const ProjectListRow& row : listProjects(session)) {
            if (row.group.compare(m_group, Qt::CaseInsensitive) == 0
                && row.subproject.compare(subCell, Qt::CaseInsensitive) == 0)
                return ProjectChoice{row.group, row.subproject, m_folder, !m_filterId.isEmpty()};
        }
    }
    return ProjectChoice{m_group, subCell, m_folder, !m_filterId.isEmpty()};
}

std::optional<int> FixedProjectChooser::chooseFilter(const QStringList& lines)
{
    if (m_filterId.isEmpty())
        return std::nullopt;
    const QString key = m_filterId.left(2).leftJustified(2, QLatin1Char(' '));
    for (int i = 0; i < lines.size(); ++i) {
        if (lines.at(i).left(2).leftJustified(2, QLatin1Char(' ')) == key)
            return i;
    }
    throw EP3EngineError(QStringLiteral("Filter ") + m_filterId + QStringLiteral(" is not in the project's filter list."));
}

std::pair<QString, QString> splitProjectName(const QString& text)
{
    const qsizetype slash = text.indexOf(QLatin1Char('/'));
    if (slash < 0)
        return {text, QString()};
    return {text.left(slash), text.mid(slash + 1)};
}

} // namespace orvane::p3link

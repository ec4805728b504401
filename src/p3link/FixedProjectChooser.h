#pragma once
// A ProjectChooser without windows, for orvane-batch: the project folder,
// the project and the filter are given up front, and choosing does what the
// pickers do when the user selects that folder, that row and that line.

#include "p3link/P3Operations.h"

namespace orvane::p3link {

class FixedProjectChooser : public ProjectChooser {
public:
    // subproject empty: the group itself. filterId empty: no filter.
    FixedProjectChooser(QString folder, QString group, QString subproject, QString filterId = QString())
        : m_folder(std::move(folder)), m_group(std::move(group)), m_subproject(std::move(subproject)),
          m_filterId(std::move(filterId))
    {
    }

    // Selects the folder as the picker's tree does (the session's project
    // path is set when the folder holds a project) and takes the matching
    // row of the project list; the names as given when no row matches.
    std::optional<ProjectChoice> chooseProject(const P3Object& session) override;
    QString projectPath() const override { return m_projectPath; }
    // The line whose first two characters name the filter; EP3EngineError
    // when the project has no such filter.
    std::optional<int> chooseFilter(const QStringList& lines) override;

private:
    QString m_folder;
    QString m_group;
    QString m_subproject;
    QString m_filterId;
    QString m_projectPath;
};

// "GROUP" or "GROUP/SUBPROJECT" split into its two names.
std::pair<QString, QString> splitProjectName(const QString& text);

} // namespace orvane::p3link

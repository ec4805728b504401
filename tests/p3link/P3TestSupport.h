#pragma once
// Test parts for the P3 operations: a chooser that answers like a user at
// the pickers, a view that records what the window would show, and a writer
// of small project folders in the simulated server's format.

#include "p3link/P3Operations.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <vector>

namespace orvane::testing {

class ScriptedChooser : public p3link::ProjectChooser {
public:
    std::optional<p3link::ProjectChoice> choice;   // nullopt: Cancel
    std::optional<QString> filterId;               // the line chosen by its ID; nullopt: Cancel
    QString path;
    QStringList filterLinesShown;
    int projectAsked = 0;

    static ScriptedChooser project(const QString& group, const QString& sub = QStringLiteral(" "))
    {
        ScriptedChooser c;
        c.choice = p3link::ProjectChoice{group, sub, QStringLiteral("/folder"), false};
        return c;
    }
    std::optional<p3link::ProjectChoice> chooseProject(const p3link::P3Object&) override
    {
        ++projectAsked;
        return choice;
    }
    QString projectPath() const override { return path; }
    std::optional<int> chooseFilter(const QStringList& lines) override
    {
        filterLinesShown = lines;
        if (!filterId)
            return std::nullopt;
        for (int i = 0; i < lines.size(); ++i)
            if (lines[i].startsWith(*filterId + QStringLiteral(" - ")))
                return i;
        return std::nullopt;
    }
};

class RecordingView : public p3link::OperationView {
public:
    QStringList events;
    QString caption, folder, status;
    std::vector<std::pair<int, QString>> shownCodes;
    std::vector<int> hiddenCodes;
    std::vector<QStringList> errorLists;
    QStringList informations;
    int busy = 0;
    int detached = 0;
    bool progressVisible = false;
    int progressMax = -1;
    int progress = -1;
    int activityCount = -1;

    void showProject(const QString& c, const QString& f) override { caption = c; folder = f; events << "project"; }
    void restoreProject() override { caption.clear(); folder.clear(); events << "restore"; }
    void beginBusy() override { ++busy; events << "busy"; }
    void endBusy() override { --busy; events << "idle"; }
    void showCodeColumn(int column, const QString& name) override { shownCodes.emplace_back(column, name); }
    void hideCodeColumn(int column) override { hiddenCodes.push_back(column); }
    void detachGrid() override { ++detached; events << "detach"; }
    void reattachGrid() override { --detached; events << "reattach"; }
    void showProgress(int maximum) override { progressVisible = true; progressMax = maximum; progress = 0; events << "progress"; }
    void setProgress(int position) override { progress = position; }
    void hideProgress() override { progressVisible = false; events << "noprogress"; }
    void setStatus(const QString& text) override { status = text; }
    void countActivities(int count) override { activityCount = count; }
    void showErrorList(const QStringList& lines) override { errorLists.push_back(lines); }
    void showInformation(const QString& text) override { informations << text; }
    // The question before an import drops unsaved changes: recorded, and
    // answered with `dropChanges`.
    bool confirmDropChanges(const QString& question) override
    {
        questions << question;
        return dropChanges;
    }
    QStringList questions;
    bool dropChanges = true;
};

// One activity of a written project: ID, description, code values by code
// name, and [number, text] logs.
struct TestActivity {
    QString id;
    QString description;
    QJsonObject codes;
    std::vector<std::pair<int, QString>> logs;
};

// Writes <group>dir.p3 and its activities file, one JSON line per
// activity, into folder.
inline void writeProjectLines(const QString& folder, const QString& group, const QStringList& codeNames,
                              const QList<QByteArray>& lines)
{
    QJsonArray codes;
    for (const QString& name : codeNames)
        codes.append(QJsonObject{{"name", name}, {"title", name}});
    const QString activitiesFile = group + QStringLiteral(".activities.jsonl");
    const QJsonObject header{{"format", "p3sim-project"}, {"version", 1}, {"title", group + " title"},
                             {"activityCodes", codes}, {"filters", QJsonArray()}, {"activities", activitiesFile}};
    QFile h(folder + QLatin1Char('/') + group + QStringLiteral("dir.p3"));
    h.open(QIODevice::WriteOnly);
    h.write(QJsonDocument(header).toJson());
    QFile a(folder + QLatin1Char('/') + activitiesFile);
    a.open(QIODevice::WriteOnly);
    for (const QByteArray& line : lines)
        a.write(line + "\n");
}

inline void writeProject(const QString& folder, const QString& group, const QStringList& codeNames,
                         const std::vector<TestActivity>& activities)
{
    QList<QByteArray> lines;
    for (const TestActivity& t : activities) {
        QJsonArray logs;
        for (const auto& [n, text] : t.logs)
            logs.append(QJsonArray{n, text});
        const QJsonObject line{{"ActivityID", t.id}, {"Description", t.description}, {"codes", t.codes},
                               {"logs", logs}};
        lines << QJsonDocument(line).toJson(QJsonDocument::Compact);
    }
    writeProjectLines(folder, group, codeNames, lines);
}

// The bytes of a file, empty when it cannot be read.
inline QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace orvane::testing

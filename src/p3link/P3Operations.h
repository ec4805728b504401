#pragma once
// The two P3 operations that move logs: the project import and the log
// write-back ("Save" and "Save to Primavera"). Both run without windows; the
// main window and orvane-batch run the same code and differ only in the
// ProjectChooser (picker, filter choice) and OperationView (cursor, progress,
// grid, status texts, message boxes) they pass in.

#include "p3link/P3Session.h"
#include "store/ActivityStore.h"
#include "store/DataFieldList.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

namespace orvane::p3link {

// What the project picker returns on OK.
struct ProjectChoice {
    QString group;        // FProjectGroup
    QString subproject;   // FSubproject: " " for a project without subprojects
    QString folderPath;   // FFolderPath
    bool useFilter = false;   // "Use filter"
};

// Chooses the project and the filter. Called while the operation's session
// is open.
class ProjectChooser {
public:
    virtual ~ProjectChooser() = default;
    // Shows the project picker, listing the projects through `session`;
    // nullopt on Cancel.
    virtual std::optional<ProjectChoice> chooseProject(const P3Object& session) = 0;
    // The short path of the project folder last chosen (FProjectPath).
    virtual QString projectPath() const = 0;
    // Shows the filter picker with the given lines; the index of the line
    // selected on OK, nullopt on Cancel or without a selection.
    virtual std::optional<int> chooseFilter(const QStringList& lines) = 0;
};

// How an operation shows itself. Every method has a do-nothing default.
class OperationView {
public:
    virtual ~OperationView() = default;
    // The window caption and the folder status panel (import); and both back
    // as they were before showProject, when the import did not complete.
    virtual void showProject(const QString& /*caption*/, const QString& /*folder*/) {}
    virtual void restoreProject() {}
    // Busy cursor on, with one pass over pending window messages; and off.
    virtual void beginBusy() {}
    virtual void endBusy() {}
    // Grid code column `column` captioned " " + name and offered by the
    // column chooser; or hidden from the column chooser.
    virtual void showCodeColumn(int /*column*/, const QString& /*name*/) {}
    virtual void hideCodeColumn(int /*column*/) {}
    // The grid is unlinked from the table while rows are appended.
    virtual void detachGrid() {}
    // Relinks the grid.
    virtual void reattachGrid() {}
    // The progress bar: shown with a maximum and position 0, moved, hidden.
    virtual void showProgress(int /*maximum*/) {}
    virtual void setProgress(int /*position*/) {}
    virtual void hideProgress() {}
    // Status panel 0.
    virtual void setStatus(const QString& /*text*/) {}
    // The running count of the operation, after every activity it took.
    virtual void countActivities(int /*count*/) {}
    // The error box with a collected list (caption "Error") and the
    // information box (caption "Information").
    virtual void showErrorList(const QStringList& /*lines*/) {}
    virtual void showInformation(const QString& /*text*/) {}
    // Asked before an import replaces a table holding changes that were not
    // saved to P3: true drops them. Unasked, nothing is dropped.
    virtual bool confirmDropChanges(const QString& /*question*/) { return false; }
};

// The project last chosen by an import or "Save to Primavera", which "Save"
// reopens: its group and its subproject (empty for the group itself).
struct ProjectIdentity {
    QString& group;
    QString& name;
};

// What the operations work on: the local store, the remembered credentials
// and the project identity, all owned by the caller.
struct OperationContext {
    store::ActivityStore& store;
    P3Credentials& credentials;
    LoginPrompt* prompt;           // the login dialog; null acts as Cancel
    ProjectChooser& chooser;
    OperationView& view;
    ProjectIdentity project;       // read by "Save", replaced by a choice
    store::DataFieldList* dataFields = nullptr;   // the "Activity data => Log" list
};

struct ImportResult {
    // The folder the project was opened from, in its long form.
    QString folder;
    // The table held changes not saved to P3 and the user kept them: nothing
    // was imported. `unsaved` counts the activities with such changes.
    bool declined = false;
    int unsaved = 0;
    int announced = 0;   // the project's activity Count
    int imported = 0;    // rows posted (FActivityCount)
    bool shortCursor() const { return imported < announced; }
    // What the table cannot show as P3 holds it, by activity ID in P3's
    // order: IDs held by more than one activity, activities with two logs of
    // one number, activities with logs numbered other than 1 to 99.
    QStringList repeatedIds;
    QStringList repeatedLogNumbers;
    QStringList unshownLogs;
    // Those lists as the text the user is told, empty when all are empty.
    QString notice() const;
};

// The import: session with the login dialog (Cancel skips the sign-in),
// picker, opening, optional filter, then the table is emptied and refilled
// with one row per activity, all in one transaction: an import that fails
// or is killed leaves the previous table exactly as it was, and the
// current project identity, caption and folder panel as well. A table with
// changes not saved to P3 is only replaced when the view confirms it
// (OperationView::confirmDropChanges). Throws the
// error that ended it. When P3 delivers fewer activities than it announced,
// the rows read are kept and the user is told both numbers.
ImportResult importProject(OperationContext& context);

// "<N> activities have changes that were not saved to P3. Import anyway and
// drop them?"
QString dropChangesQuestion(int activities);

// The error of an import whose activity cursor yielded none of the
// activities P3 announced; the previous table stays.
QString emptyCursorMessage(int announced);
// The message shown when the activity cursor of an import ran out early.
QString shortCursorMessage(int announced, int delivered);
// The same for a write-back.
QString shortSaveCursorMessage(int announced, int delivered);

enum class SaveTarget {
    CurrentProject,   // "Save": the project last imported or chosen
    ChosenProject,    // "Save to Primavera": asks with the picker
};

// One text of an activity as a three-way save met it: field 0 is the
// description, field n log n.
struct SavedText {
    QString activityId;
    int field = 0;
    QString local;   // the table's text
    QString p3;      // P3's text before the save
};

struct WriteBackResult {
    bool started = false;     // false: "No project to quick save."
    bool hasBase = false;     // the save compared with what was imported
    int written = 0;          // activities whose P3 logs now equal the local row (FActivityCount)
    int rewritten = 0;        // of those, the ones that differed and were rewritten
    int announced = 0;        // the project's activity Count
    int delivered = 0;        // activities the cursor yielded
    QStringList missing;      // "<id> is not found in local table." lines
    QStringList notUnique;    // activities left alone because their ID is not unique
    QStringList unwritten;    // the lines of both lists above, in P3's order
    // Texts by what the save did with them, in P3's order: local texts
    // written to P3, P3's texts taken into the table, and texts changed on
    // both sides, left as P3 has them.
    std::vector<SavedText> writtenTexts;
    std::vector<SavedText> takenTexts;
    std::vector<SavedText> conflicts;
    // Said to the user beside the result (no base, a read-only table).
    QStringList notices;
    bool shortCursor() const { return delivered < announced; }
    // Every line of the error box: the short cursor first, then `unwritten`.
    QStringList problems() const;
};

// "<id> Log#<n> was changed in P3 since the import; your text was not
// written." (or "<id> Description ...").
QString conflictLine(const SavedText& conflict);
// The notice of a save without a base to compare with.
QString noBaseNotice();

struct WriteBackOptions {
    // Reads and decides only: nothing is changed in P3 or in pdb.mdb.
    bool dryRun = false;
    // Which conflicts get the local text all the same; none when empty.
    std::function<bool(const QString& activityId, int field)> overwrite;
};

// The log write-back. Each activity's description and logs 1 to 99 are
// compared with what P3 holds now and, when the table's base is of this
// project, with what was imported: only texts changed here are written,
// texts changed in P3 since the import are taken into the table (and the
// base follows what P3 then holds), and texts changed on both sides
// differently are conflicts, left as P3 has them and listed. Without a
// base every local text that differs goes to P3. An activity with nothing
// to write is not touched in P3; logs the table cannot hold (numbered
// other than 1 to 99) stay in P3 untouched. An activity whose ID matches
// several local rows or several P3 activities is left alone and listed.
// Throws the error that ended it, saying how many activities were already
// written.
WriteBackResult writeBackLogs(OperationContext& context, SaveTarget target, const WriteBackOptions& options = {});

// Shows code names kept with the table (store/CodeNames.h) as an import
// shows the project's: the grid's code columns captioned and the rest
// hidden, and the names offered by the data-field list.
void showKeptCodeNames(const QStringList& names, OperationView& view, store::DataFieldList* dataFields);

} // namespace orvane::p3link

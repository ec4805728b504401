#include "p3link/P3Operations.h"

#include "p3link/OperationSupport.h"
#include "p3link/ProjectFolder.h"

#include "common/ErrorText.h"
#include "store/ActivityLayout.h"
#include "store/CodeNames.h"
#include "store/Database.h"
#include "store/TableImport.h"

#include <QHash>
#include <QSet>

#include <array>
#include <bitset>
#include <cmath>
#include <functional>

namespace orvane::p3link {

namespace m = member;

namespace {

void chooseAndApplyFilter(const P3Object& project, ProjectChooser& chooser)
{
    QStringList lines;
    forEachElement(project.object(m::Filters), [&](const P3Object& filter) {
        lines << P3Object::toText(filter.get(m::ID)) + QStringLiteral(" - ")
                     + P3Object::toText(filter.get(m::Title));
    });
    const std::optional<int> chosen = chooser.chooseFilter(lines);
    if (chosen && *chosen >= 0 && *chosen < lines.size())
        project.call(m::ApplyFilter, lines.at(*chosen).left(2).leftJustified(2, QLatin1Char(' ')), 1);
}

// Reads one activity into the table's open insert buffer, noting in
// `result` what of it the table cannot show as P3 holds it.
void readActivity(const P3Object& activity, store::ActivityTable& table, ImportResult& result)
{
    const auto& dataMembers = activityDataMembers();
    for (int column = 0; column < kActivityDataMemberCount; ++column)
        table.setFieldValue(column, activity.get(dataMembers[column]));

    // Code values: the k-th value into ActivityCode k; values after the
    // last code slot have no column.
    {
        const P3Cursor codes(activity.object(m::ActivityCodes));
        int column = store::kFirstCodeColumn;
        for (P3Object code = codes.first(); !code.isNull() && column < store::kFirstLogColumn;
             code = codes.next(), ++column)
            table.setFieldValue(column, code.get(m::Value));
    }

    // Logs by their number; of two logs with one number the later wins.
    std::bitset<store::kLogCount + 1> seen;
    bool repeated = false;
    bool unshown = false;
    forEachElement(activity.object(m::ActivityLogs), [&](const P3Object& log) {
        const std::optional<int> number = tableLogNumber(log.get(m::SequenceNumber));
        if (!number) {
            unshown = true;
            return;
        }
        repeated = repeated || seen.test(size_t(*number));
        seen.set(size_t(*number));
        table.setFieldValue(store::logColumn(*number), log.get(m::Text));
    });
    const QString id = table.fieldValue(store::kActivityIdColumn).toString();
    if (repeated)
        result.repeatedLogNumbers << id;
    if (unshown)
        result.unshownLogs << id;

    table.setFieldValue(store::kFlagColumn, false);
}

QStringList readCodeNames(const P3Object& project)
{
    QStringList names;
    forEachElement(project.object(m::ActivityCodes), [&](const P3Object& code) { names << code.text(m::Name); });
    return names;
}

// Captions the grid's code columns with the project's code names (hiding
// the slots left over) and offers the names to the data-field list.
void showCodeNames(const QStringList& names, OperationView& view, store::DataFieldList* dataFields)
{
    if (dataFields)
        dataFields->fill();
    int column = store::kFirstCodeColumn;
    for (const QString& name : names) {
        if (column >= store::kFirstLogColumn)
            break;   // codes after the last slot have no column
        if (dataFields)
            dataFields->appendCode(name);
        view.showCodeColumn(column, name);
        ++column;
    }
    for (; column < store::kFirstLogColumn; ++column)
        view.hideCodeColumn(column);
}

// Empties the table and appends one row per activity the cursor yields, at
// most `count`, in one transaction that only a complete walk commits. On
// any error the table is rolled back and re-read, so the grid shows the
// previous rows again.
void replaceTableRows(const P3Object& activities, int count, const QStringList& codeNames,
                      OperationContext& context, ImportResult& result)
{
    store::ActivityStore& store = context.store;
    store::ActivityTable& table = store.taActivities;
    store::Transaction transaction(store.ADOCon);
    ScopeExit restore([&] {
        if (table.state() == store::ActivityTable::State::Insert)
            table.cancel();
        transaction.rollback();
        if (table.isActive())
            table.requery();
    });
    store::countImport(store.ADOCon, context.project.group, context.project.name, result.folder);
    store.ClearTable();

    QHash<QString, int> idCount;
    QStringList idOrder;
    const P3Cursor cursor(activities);
    P3Object activity = count > 0 ? cursor.first() : P3Object();
    for (int k = 1; k <= count; ++k) {
        if (activity.isNull())
            break;   // the cursor ran out before Count: keep what came
        table.append();
        readActivity(activity, table, result);
        const QString id = table.fieldValue(store::kActivityIdColumn).toString();
        if (++idCount[id] == 2)
            idOrder << id;
        table.post();
        context.view.countActivities(++result.imported);
        if (k < count)
            activity = cursor.next();
        context.view.setProgress(k);
    }
    // A cursor that yields nothing of what P3 announced is no project: the
    // previous table stays (rolled back on the way out).
    if (count > 0 && result.imported == 0)
        throw EP3EngineError(emptyCursorMessage(count));
    // What P3 delivered is kept as the base, in the same transaction, so the
    // save can tell the user's edits from what others change in P3 later.
    store.base.replaceFromTable();
    store::writeCodeNames(store.ADOCon, codeNames);
    transaction.commit();
    restore.dismiss();
    // The table now stands for another project: nothing before can be undone.
    store.undo.clear();
    store.changes.recomputeAll();
    result.repeatedIds = idOrder;
}

QString listed(const QString& heading, const QStringList& ids)
{
    return ids.isEmpty() ? QString() : heading + QLatin1Char('\n') + ids.join(QLatin1Char('\n'));
}

} // namespace

QString ImportResult::notice() const
{
    QStringList parts;
    for (const QString& part :
         {listed(QStringLiteral("These activity IDs belong to more than one P3 activity; Save leaves those "
                                "activities unchanged in P3:"),
                 repeatedIds),
          listed(QStringLiteral("These activities have two logs with the same number; the grid shows the later one, "
                                "and Save keeps only that one when the activity is changed:"),
                 repeatedLogNumbers),
          listed(QStringLiteral("These activities have logs numbered other than 1 to 99, which the grid cannot "
                                "show; Save leaves those logs in P3 untouched:"),
                 unshownLogs)}) {
        if (!part.isEmpty())
            parts << part;
    }
    return parts.join(QStringLiteral("\n\n"));
}

QString emptyCursorMessage(int announced)
{
    return QStringLiteral("P3 announced %1 activities but delivered none. The table was left as it was.")
        .arg(announced);
}

QString dropChangesQuestion(int activities)
{
    if (activities == 1)
        return QStringLiteral("1 activity has changes that were not saved to P3. Import anyway and drop them?");
    return QStringLiteral("%1 activities have changes that were not saved to P3. Import anyway and drop them?")
        .arg(activities);
}

QString shortCursorMessage(int announced, int delivered)
{
    return QStringLiteral("P3 announced %1 activities but delivered %2. The %2 activities delivered were imported.")
        .arg(announced)
        .arg(delivered);
}


namespace {

// Opens the project of the current identity for the import. Any failure,
// also an empty result (which would fail at the first call after the table
// was emptied), fails here while nothing local has changed.
P3Object openProjectToImport(const P3Object& session, const ProjectIdentity& identity)
{
    P3Object project;
    try {
        project = openProject(session, identity);
    } catch (const OrvaneError& e) {
        // P3's own reason follows on the next line: it tells a missing
        // project from a locked or damaged one.
        throw EP3EngineError(QStringLiteral("Loading project failed!") + QLatin1Char('\n') + errorBoxText(e.message()));
    } catch (...) {
        throw EP3EngineError(QStringLiteral("Loading project failed!"));
    }
    if (project.isNull())
        throw EP3EngineError(QStringLiteral("Loading project failed!"));
    return project;
}

using RestoreIdentity = ScopeExit<std::function<void()>>;

// Reads the project's activities into the table, telling the view how far
// it got, then hands the view the code names and the count. Once the rows
// are committed the table stands for the new project, and the previous
// identity is no longer restored.
void loadProject(const P3Object& project, OperationContext& context, ImportResult& result,
                 RestoreIdentity& restoreIdentity)
{
    OperationView& view = context.view;
    view.beginBusy();
    ScopeExit busy([&] { view.endBusy(); });

    const QStringList codeNames = readCodeNames(project);
    const P3Object activities = project.object(m::Activities);
    const int count = activities.integer(m::Count);
    result.announced = std::max(count, 0);
    view.showProgress(result.announced);
    view.detachGrid();
    view.countActivities(0);
    {
        ScopeExit rows([&] {
            view.reattachGrid();
            view.hideProgress();
        });
        replaceTableRows(activities, count, codeNames, context, result);
    }
    restoreIdentity.dismiss();
    showCodeNames(codeNames, view, context.dataFields);
    context.store.taActivities.first();
    view.setStatus(QStringLiteral("Get %1 Activities").arg(result.imported));
    busy.dismiss();
    view.endBusy();
}

void closeProjectQuietly(const P3Object& session, P3Object& project)
{
    try {
        session.call(m::CloseProject, project);
    } catch (...) {
        // A failing close changes nothing that was imported.
    }
    project.reset();
}

} // namespace

ImportResult importProject(OperationContext& context)
{
    ImportResult result;
    OperationView& view = context.view;
    // A table that cannot be changed is refused before P3 is asked anything.
    context.store.ADOCon.writableHandle();
    store::ActivityTable& table = context.store.taActivities;
    // An edit still open belongs to the previous table, not to the import.
    if (table.state() != store::ActivityTable::State::Browse)
        table.post();
    result.unsaved = context.store.base.changedActivityCount();
    if (result.unsaved > 0 && !view.confirmDropChanges(dropChangesQuestion(result.unsaved))) {
        result.declined = true;
        return result;
    }
    ProjectIdentity& identity = context.project;
    const QString warning = runSessionThenWarn(
        SignInVariant::DialogCancelSkips, context.credentials, context.prompt,
        QStringLiteral("The import is complete, but signing out of P3 failed: %1"), [&](const P3Object& session) {
        const std::optional<ProjectChoice> choice = context.chooser.chooseProject(session);
        if (!choice)
            throw EP3EngineError(QStringLiteral("Project loading canceled by user."));
        const QString previousGroup = identity.group;
        const QString previousName = identity.name;
        takeProjectIdentity(*choice, identity);
        P3Object project = openProjectToImport(session, identity);

        // From here on the import completes or leaves everything as it was:
        // the previous table goes with the previous project identity, so
        // "Save" never writes one project's rows into another.
        RestoreIdentity restoreIdentity([&] {
            identity.group = previousGroup;
            identity.name = previousName;
            view.restoreProject();
        });
        result.folder = longPathName(choice->folderPath);
        if (choice->useFilter)
            chooseAndApplyFilter(project, context.chooser);
        view.showProject(QStringLiteral("Orvane - ") + identity.group + QLatin1Char(' ') + identity.name,
                         choice->folderPath);
        loadProject(project, context, result, restoreIdentity);
        closeProjectQuietly(session, project);
    });
    if (!warning.isEmpty())
        view.showInformation(warning);
    if (result.shortCursor())
        view.showInformation(shortCursorMessage(result.announced, result.imported));
    const QString notice = result.notice();
    if (!notice.isEmpty())
        view.showInformation(notice);
    return result;
}

void showKeptCodeNames(const QStringList& names, OperationView& view, store::DataFieldList* dataFields)
{
    showCodeNames(names, view, dataFields);
}

} // namespace orvane::p3link

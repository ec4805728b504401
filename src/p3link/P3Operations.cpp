#include "p3link/P3Operations.h"

#include "common/ErrorText.h"
#include "store/ActivityLayout.h"
#include "store/CodeNames.h"
#include "store/Database.h"

#include <QHash>
#include <QSet>

#include <array>
#include <bitset>
#include <cmath>
#include <functional>

namespace orvane::p3link {

namespace m = member;

namespace {

// Runs `onExit` when the scope is left, unless dismissed.
template <class F>
class ScopeExit {
public:
    explicit ScopeExit(F f) : m_f(std::move(f)) {}
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    ~ScopeExit()
    {
        if (m_armed) {
            try {
                m_f();
            } catch (...) {
                // Clean-up on the way out must not replace the error that
                // ended the operation.
            }
        }
    }
    void dismiss() { m_armed = false; }

private:
    F m_f;
    bool m_armed = true;
};

P3Object openProject(const P3Object& session, const ProjectIdentity& project)
{
    const QVariant result = project.name.isEmpty() ? session.call(m::OpenProject, project.group)
                                                   : session.call(m::OpenProject, project.group, project.name);
    return P3Object::fromVariant(result);
}

// Takes the chooser's answer as the current project identity: a subproject
// of exactly one blank means the group itself.
void takeProjectIdentity(const ProjectChoice& choice, ProjectIdentity& project)
{
    project.group = choice.group;
    project.name = choice.subproject == QLatin1String(" ") ? QString() : choice.subproject;
}

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

// The number of a log as the table can hold it: a whole number from 1 to
// 99. Other numbers (0, 100, negative, fractional) have no column.
std::optional<int> tableLogNumber(const QVariant& sequence)
{
    bool ok = false;
    const double number = sequence.toDouble(&ok);
    if (!ok || number < 1 || number > store::kLogCount || number != std::floor(number))
        return std::nullopt;
    return int(number);
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
    store::writeCodeNames(store.ADOCon, codeNames);
    transaction.commit();
    restore.dismiss();
    // The table now stands for another project: nothing before can be undone.
    store.undo.clear();
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

QString shortCursorMessage(int announced, int delivered)
{
    return QStringLiteral("P3 announced %1 activities but delivered %2. The %2 activities delivered were imported.")
        .arg(announced)
        .arg(delivered);
}

QString shortSaveCursorMessage(int announced, int delivered)
{
    return QStringLiteral("P3 announced %1 activities but delivered %2. Only the %2 activities delivered were "
                          "saved; the other %3 were not written.")
        .arg(announced)
        .arg(delivered)
        .arg(announced - delivered);
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
    ProjectIdentity& identity = context.project;
    runWithSession(SignInVariant::DialogCancelSkips, context.credentials, context.prompt, [&](const P3Object& session) {
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
        if (choice->useFilter)
            chooseAndApplyFilter(project, context.chooser);
        view.showProject(QStringLiteral("Orvane - ") + identity.group + QLatin1Char(' ') + identity.name,
                         choice->folderPath);
        loadProject(project, context, result, restoreIdentity);
        closeProjectQuietly(session, project);
    });
    if (result.shortCursor())
        view.showInformation(shortCursorMessage(result.announced, result.imported));
    const QString notice = result.notice();
    if (!notice.isEmpty())
        view.showInformation(notice);
    return result;
}

namespace {

// The local row of an activity as the write-back compares and writes it:
// a null description or log reads as the empty text.
struct LocalActivity {
    QString description;
    std::array<QString, store::kLogCount> logs;
};

LocalActivity readLocalActivity(const store::Query& lookup)
{
    LocalActivity local;
    local.description = lookup.value(store::kDescriptionColumn).toString();
    for (int n = 1; n <= store::kLogCount; ++n)
        local.logs[size_t(n - 1)] = lookup.value(store::logColumn(n)).toString();
    return local;
}

// Makes an activity's description and logs 1 to 99 in P3 equal to the
// local row, and returns true, unless they already are (then nothing is
// called that changes P3). Logs numbered other than 1 to 99 are kept. An
// empty local description leaves P3's as it is.
bool writeActivity(const P3Object& activities, const P3Object& activity, const LocalActivity& local)
{
    const P3Object logs = activity.object(m::ActivityLogs);
    // What the grid showed of P3's logs (the later of two with one number),
    // and every log it stands for.
    std::array<QString, store::kLogCount> shown;
    std::vector<P3Object> replaced;
    forEachElement(logs, [&](const P3Object& log) {
        const std::optional<int> number = tableLogNumber(log.get(m::SequenceNumber));
        if (!number)
            return;
        shown[size_t(*number - 1)] = log.text(m::Text);
        replaced.push_back(log);
    });
    const bool newDescription = !local.description.isEmpty() && local.description != activity.text(m::Description);
    if (!newDescription && shown == local.logs)
        return false;

    if (newDescription)
        activity.put(m::Description, local.description);
    for (const P3Object& log : replaced)
        logs.call(m::Remove, log);
    for (int n = 1; n <= store::kLogCount; ++n) {
        const QString& line = local.logs[size_t(n - 1)];
        if (line.isEmpty())
            continue;
        const P3Object log = logs.object(m::NewItem);
        log.put(m::Text, line);
        log.put(m::SequenceNumber, n);
        logs.call(m::Add, log);
    }
    activities.call(m::Update, activity);
    return true;
}

// How often each activity ID occurs in the project.
QHash<QString, int> countP3Ids(const P3Object& activities)
{
    QHash<QString, int> count;
    forEachElement(activities, [&](const P3Object& activity) { ++count[activity.text(m::ActivityID)]; });
    return count;
}

QString saveStatus(int written)
{
    return QStringLiteral("Save %1 Activities").arg(written);
}

QString alreadyWritten(int written)
{
    if (written == 0)
        return QStringLiteral("No activity had been written to P3 yet.");
    if (written == 1)
        return QStringLiteral("1 activity had already been written to P3; the others are as they were.");
    return QStringLiteral("%1 activities had already been written to P3; the others are as they were.").arg(written);
}

} // namespace

QStringList WriteBackResult::problems() const
{
    QStringList lines;
    if (shortCursor())
        lines << shortSaveCursorMessage(announced, delivered);
    return lines + unwritten;
}

namespace {

// Opens the project of the current identity for a write-back; "Save" first
// points P3 at the folder of the project last imported.
P3Object openProjectToSave(const P3Object& session, const ProjectIdentity& identity, bool quickSave,
                           const ProjectChooser& chooser)
{
    const QString openFailed = QStringLiteral("Can't open project ") + identity.group
                               + QStringLiteral(" Save failed!");
    P3Object project;
    try {
        if (quickSave)
            session.put(m::CurrentProjectPath, chooser.projectPath());
        project = openProject(session, identity);
    } catch (...) {
        throw EP3EngineError(openFailed);
    }
    if (project.isNull())
        throw EP3EngineError(quickSave ? openFailed : QStringLiteral("Can't open project! Save failed!"));
    return project;
}

// Writes one activity delivered by P3, or lists why it was left alone.
void saveActivity(const P3Object& activities, const P3Object& activity, const QSet<QString>& repeatedLocalIds,
                  const QHash<QString, int>& p3Ids, OperationContext& context, WriteBackResult& result)
{
    const QString id = activity.text(m::ActivityID);
    if (repeatedLocalIds.contains(id)) {
        result.notUnique << id + QStringLiteral(" is found in more than one row of local table; "
                                                "the activity was left unchanged.");
        result.unwritten << result.notUnique.last();
        return;
    }
    // An ID that two activities share cannot tell which local row is whose.
    if (p3Ids.value(id) > 1) {
        result.notUnique << id + QStringLiteral(" is the ID of more than one activity in P3; "
                                                "the activity was left unchanged.");
        result.unwritten << result.notUnique.last();
        return;
    }
    store::Query& lookup = context.store.qGetActivity;
    lookup.setParameter(QStringLiteral("ActID"), id);
    lookup.open();
    if (lookup.eof()) {
        result.missing << id + QStringLiteral(" is not found in local table.");
        result.unwritten << result.missing.last();
    } else {
        if (writeActivity(activities, activity, readLocalActivity(lookup)))
            ++result.rewritten;
        context.view.countActivities(++result.written);
        context.view.setStatus(saveStatus(result.written));
    }
    lookup.close();
}

// Walks the project's activities and writes each. An error on the way says
// how many activities were already written.
void saveActivities(const P3Object& project, const QSet<QString>& repeatedLocalIds, OperationContext& context,
                    WriteBackResult& result)
{
    OperationView& view = context.view;
    const P3Object activities = project.object(m::Activities);
    result.announced = activities.integer(m::Count);
    view.showProgress(result.announced);
    ScopeExit progress([&] { view.hideProgress(); });
    view.countActivities(0);

    ScopeExit closeLookup([&] { context.store.qGetActivity.close(); });
    try {
        const QHash<QString, int> p3Ids = countP3Ids(activities);
        const P3Cursor cursor(activities);
        for (P3Object activity = cursor.first(); !activity.isNull(); activity = cursor.next()) {
            ++result.delivered;
            saveActivity(activities, activity, repeatedLocalIds, p3Ids, context, result);
            view.setProgress(result.written);
        }
    } catch (const OrvaneError& e) {
        throw EP3EngineError(errorBoxText(e.message()) + QLatin1Char('\n') + alreadyWritten(result.rewritten));
    }
    progress.dismiss();
    view.hideProgress();
}

} // namespace

WriteBackResult writeBackLogs(OperationContext& context, SaveTarget target)
{
    WriteBackResult result;
    OperationView& view = context.view;
    const bool quickSave = target == SaveTarget::CurrentProject;
    ProjectIdentity& identity = context.project;
    if (quickSave && identity.group.isEmpty()) {
        view.showInformation(QStringLiteral("No project to quick save."));
        return result;
    }
    // A table that cannot be read as Orvane lays it out is refused before
    // P3 is asked anything.
    const QSet<QString> repeatedLocalIds = context.store.repeatedActivityIds();
    result.started = true;
    // What goes to P3 is the table as it is now; undoing a change that P3
    // already holds would make the two differ unseen.
    context.store.undo.clear();

    runWithSession(quickSave ? SignInVariant::NoDialog : SignInVariant::DialogCancelSignsIn, context.credentials,
                   context.prompt, [&](const P3Object& session) {
        if (!quickSave) {
            const std::optional<ProjectChoice> choice = context.chooser.chooseProject(session);
            if (!choice)
                throw EP3EngineError(QStringLiteral("Project loading canceled by user."));
            takeProjectIdentity(*choice, identity);
        }
        view.beginBusy();
        ScopeExit busy([&] { view.endBusy(); });
        const P3Object project = openProjectToSave(session, identity, quickSave, context.chooser);
        saveActivities(project, repeatedLocalIds, context, result);
        view.setStatus(saveStatus(result.written));
        busy.dismiss();
        view.endBusy();

        const QStringList problems = result.problems();
        if (!problems.isEmpty())
            view.showErrorList(problems);
    });
    return result;
}

void showKeptCodeNames(const QStringList& names, OperationView& view, store::DataFieldList* dataFields)
{
    showCodeNames(names, view, dataFields);
}

} // namespace orvane::p3link

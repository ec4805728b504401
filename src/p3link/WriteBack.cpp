// The log write-back ("Save" and "Save to Primavera"), three-way against
// the base where the table has one for the target project.

#include "p3link/ActivityMerge.h"
#include "p3link/OperationSupport.h"
#include "p3link/P3Operations.h"
#include "p3link/ProjectFolder.h"

#include "common/ErrorText.h"
#include "store/Database.h"

#include <QHash>
#include <QSet>

namespace orvane::p3link {

namespace m = member;

QString shortSaveCursorMessage(int announced, int delivered)
{
    return QStringLiteral("P3 announced %1 activities but delivered %2. Only the %2 activities delivered were "
                          "saved; the other %3 were not written.")
        .arg(announced)
        .arg(delivered)
        .arg(announced - delivered);
}

QString conflictLine(const SavedText& conflict)
{
    return conflict.activityId + QLatin1Char(' ') + store::textFieldName(conflict.field)
           + QStringLiteral(" was changed in P3 since the import; your text was not written.");
}

QString noBaseNotice()
{
    return QStringLiteral("This table holds no record of what was imported, so Orvane cannot tell your edits from "
                          "changes made in P3: every text that differs from P3 is written.");
}

QStringList WriteBackResult::problems() const
{
    QStringList lines;
    if (shortCursor())
        lines << shortSaveCursorMessage(announced, delivered);
    return lines + unwritten;
}

namespace {

store::ActivityTexts readLocalTexts(const store::Query& lookup)
{
    store::ActivityTexts local;
    for (int field = 0; field < store::kTextFieldCount; ++field)
        local.fields[size_t(field)] = lookup.value(store::columnOfTextField(field)).toString();
    return local;
}

// An activity as P3 holds it now: its description and what the grid shows
// of its logs (the later of two with one number), with every log object
// that stands for a number from 1 to 99.
struct P3Activity {
    store::ActivityTexts texts;
    std::vector<P3Object> shownLogs;
};

P3Activity readP3Activity(const P3Object& activity, const P3Object& logs)
{
    P3Activity p3;
    p3.texts.description() = activity.text(m::Description);
    forEachElement(logs, [&](const P3Object& log) {
        const std::optional<int> number = tableLogNumber(log.get(m::SequenceNumber));
        if (!number)
            return;
        p3.texts.log(*number) = log.text(m::Text);
        p3.shownLogs.push_back(log);
    });
    return p3;
}

// Makes P3's activity hold `merge.target`: its description when that
// changes, and logs 1 to 99 replaced when any of them changes (logs with
// other numbers are kept); then commits the activity.
void writeActivity(const P3Object& activities, const P3Object& activity, const P3Object& logs,
                   const P3Activity& p3, const ActivityMerge& merge)
{
    if (merge.descriptionChanges)
        activity.put(m::Description, merge.target.description());
    if (merge.logsChange) {
        for (const P3Object& log : p3.shownLogs)
            logs.call(m::Remove, log);
        for (int n = 1; n <= store::kLogCount; ++n) {
            const QString& line = merge.target.log(n);
            if (line.isEmpty())
                continue;
            const P3Object log = logs.object(m::NewItem);
            log.put(m::Text, line);
            log.put(m::SequenceNumber, n);
            logs.call(m::Add, log);
        }
    }
    activities.call(m::Update, activity);
}

// What the table and the base take on for one activity once P3 holds the
// merge: texts taken from P3 into the table (where the table still holds
// what the save read), and the base texts of every field now the same on
// both sides.
struct FollowUp {
    QString activityId;
    std::vector<std::pair<int, QString>> base;
    struct Take {
        int field;
        QString expected;   // the local text the decision was made on
        QString text;
    };
    std::vector<Take> local;
};

FollowUp followUpOf(const QString& id, const store::ActivityTexts& local, const store::ActivityTexts& p3,
                    const ActivityMerge& merge)
{
    FollowUp followUp{id, {}, {}};
    for (int field : merge.taken) {
        followUp.local.push_back({field, local.fields[size_t(field)], p3.fields[size_t(field)]});
        followUp.base.emplace_back(field, p3.fields[size_t(field)]);
    }
    for (const std::vector<int>* moved : {&merge.written, &merge.overwritten, &merge.settled})
        for (int field : *moved)
            followUp.base.emplace_back(field, merge.target.fields[size_t(field)]);
    return followUp;
}

// Brings the table and the base up to what P3 now holds, in one
// transaction. Only called for activities whose P3 side went through, so
// the base never claims more than P3 holds; a save killed before this runs
// finds the same texts again next time (now equal on both sides). Returns
// the table columns it changed.
std::vector<int> applyFollowUps(store::ActivityStore& store, const std::vector<FollowUp>& followUps)
{
    if (followUps.empty())
        return {};
    store::Transaction transaction(store.ADOCon);
    std::vector<store::ActivityStore::TextAssignment> taken;
    for (const FollowUp& followUp : followUps) {
        for (const FollowUp::Take& take : followUp.local)
            taken.push_back({followUp.activityId, take.field, take.text, take.expected});
        store.base.setTexts(followUp.activityId, followUp.base);
    }
    std::vector<int> columns = store.assignTexts(taken);
    transaction.commit();
    return columns;
}

void noteTexts(std::vector<SavedText>& list, const QString& id, const std::vector<int>& fields,
               const store::ActivityTexts& local, const store::ActivityTexts& p3)
{
    for (int field : fields)
        list.push_back({id, field, local.fields[size_t(field)], p3.fields[size_t(field)]});
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

// One write-back's walk over the project's activities.
class SaveWalk {
public:
    SaveWalk(OperationContext& context, const WriteBackOptions& options, const QSet<QString>& repeatedLocalIds,
             bool useBase, bool tableFollows, WriteBackResult& result)
        : m_context(context), m_options(options), m_repeatedLocalIds(repeatedLocalIds), m_useBase(useBase),
          m_tableFollows(tableFollows), m_result(result)
    {
    }

    // Walks the project's activities and saves each. An error on the way
    // says how many activities were already written; the table and the base
    // follow P3 for those either way.
    void run(const P3Object& project)
    {
        OperationView& view = m_context.view;
        const P3Object activities = project.object(m::Activities);
        m_result.announced = activities.integer(m::Count);
        view.showProgress(m_result.announced);
        ScopeExit progress([&] { view.hideProgress(); });
        view.countActivities(0);

        if (m_useBase)
            m_editedIds = m_context.store.base.changedActivityIds();
        ScopeExit closeLookup([&] { m_context.store.qGetActivity.close(); });
        ScopeExit followUp([&] { bringTableUpToDate(); });
        try {
            const QHash<QString, int> p3Ids = countP3Ids(activities);
            const P3Cursor cursor(activities);
            for (P3Object activity = cursor.first(); !activity.isNull(); activity = cursor.next()) {
                ++m_result.delivered;
                saveActivity(activities, activity, p3Ids);
                view.setProgress(m_result.written);
            }
        } catch (const OrvaneError& e) {
            throw EP3EngineError(errorBoxText(e.message()) + QLatin1Char('\n') + alreadyWritten(m_result.rewritten));
        }
        followUp.dismiss();
        bringTableUpToDate();
        progress.dismiss();
        view.hideProgress();
    }

private:
    // Writes one activity delivered by P3, or lists why it was left alone.
    void saveActivity(const P3Object& activities, const P3Object& activity, const QHash<QString, int>& p3Ids)
    {
        const QString id = activity.text(m::ActivityID);
        // An ID that two activities share cannot tell which local row is
        // whose; said first, since such an import also gave it two rows.
        if (p3Ids.value(id) > 1) {
            leaveAlone(m_result.notUnique, named(id) + QStringLiteral(" is the ID of more than one activity in P3; "
                                                                       "the activity was left unchanged."));
            return;
        }
        if (m_repeatedLocalIds.contains(id)) {
            leaveAlone(m_result.notUnique, named(id) + QStringLiteral(" is found in more than one row of local table; "
                                                                       "the activity was left unchanged."));
            return;
        }
        store::Query& lookup = m_context.store.qGetActivity;
        lookup.setParameter(QStringLiteral("ActID"), id);
        lookup.open();
        if (lookup.eof()) {
            leaveAlone(m_result.missing, named(id) + QStringLiteral(" is not found in local table."));
        } else {
            mergeAndWrite(activities, activity, id, readLocalTexts(lookup));
            m_context.view.countActivities(++m_result.written);
            m_context.view.setStatus(saveStatus(m_result.written));
        }
        lookup.close();
    }

    // The activity as a line names it: its ID, or its place in P3's order
    // when it has none.
    QString named(const QString& id) const
    {
        return id.isEmpty() ? QStringLiteral("The activity without an ID (number %1 in P3's order)")
                                  .arg(m_result.delivered)
                            : id;
    }

    void leaveAlone(QStringList& list, const QString& line)
    {
        list << line;
        m_result.unwritten << line;
    }

    void mergeAndWrite(const P3Object& activities, const P3Object& activity, const QString& id,
                       const store::ActivityTexts& local)
    {
        const P3Object logs = activity.object(m::ActivityLogs);
        const P3Activity p3 = readP3Activity(activity, logs);
        // Where the table did not change the activity since the import and
        // P3 holds the same texts, all three agree: the base need not be read.
        store::ActivityTexts base = local;
        const bool unchanged = !m_editedIds.contains(id) && p3.texts.fields == local.fields;
        const bool hasBase = m_useBase && (unchanged || m_context.store.base.lookup(id, base));
        const auto overwrite = [&](int field) { return m_options.overwrite && m_options.overwrite(id, field); };
        const ActivityMerge merge = mergeActivity(hasBase ? &base : nullptr, local, p3.texts, overwrite);

        noteTexts(m_result.writtenTexts, id, merge.written, local, p3.texts);
        noteTexts(m_result.writtenTexts, id, merge.overwritten, local, p3.texts);
        noteTexts(m_result.takenTexts, id, merge.taken, local, p3.texts);
        noteTexts(m_result.conflicts, id, merge.conflicts, local, p3.texts);
        if (m_options.dryRun)
            return;
        if (merge.descriptionChanges || merge.logsChange) {
            writeActivity(activities, activity, logs, p3, merge);
            ++m_result.rewritten;
        }
        if (hasBase && m_tableFollows)
            m_followUps.push_back(followUpOf(id, local, p3.texts, merge));
    }

    // The table takes what the save took from P3; the grid shows it.
    void bringTableUpToDate()
    {
        store::ActivityStore& store = m_context.store;
        const std::vector<int> columns = applyFollowUps(store, m_followUps);
        m_followUps.clear();
        if (!columns.empty() && store.taActivities.isActive())
            store.taActivities.requeryColumns(columns);
        // The base followed what was written: the marks read it again,
        // once, unless the re-read above did so already.
        store.changes.followBase();
    }

    OperationContext& m_context;
    const WriteBackOptions& m_options;
    const QSet<QString>& m_repeatedLocalIds;
    const bool m_useBase;
    const bool m_tableFollows;
    WriteBackResult& m_result;
    std::vector<FollowUp> m_followUps;
    QSet<QString> m_editedIds;   // activities the table changed since the import
};

// Whether the save compares with the base: the table has one, and of the
// project written into. A table without any is told it cannot be.
bool compareWithBase(OperationContext& context, const QString& folder, WriteBackResult& result)
{
    const std::optional<store::BaseProject> base = context.store.base.project();
    if (!base) {
        result.notices << noBaseNotice();
        return false;
    }
    return base->is(context.project.group, context.project.name, folder);
}

} // namespace

WriteBackResult writeBackLogs(OperationContext& context, SaveTarget target, const WriteBackOptions& options)
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
    // The table follows P3 after a save; a read-only one cannot.
    const bool tableFollows = !options.dryRun && !context.store.ADOCon.isReadOnly();
    if (!options.dryRun) {
        // What goes to P3 is the table as it is now; undoing a change that P3
        // already holds would make the two differ unseen.
        context.store.undo.clear();
    }

    const QString warning = runSessionThenWarn(
        quickSave ? SignInVariant::NoDialog : SignInVariant::DialogCancelSignsIn, context.credentials, context.prompt,
        options.dryRun ? QStringLiteral("The comparison is complete, but signing out of P3 failed: %1")
                       : QStringLiteral("The save is complete, but signing out of P3 failed: %1"),
        [&](const P3Object& session) {
        QString folder = quickSave ? context.chooser.projectPath() : QString();
        if (!quickSave) {
            const std::optional<ProjectChoice> choice = context.chooser.chooseProject(session);
            if (!choice)
                throw EP3EngineError(QStringLiteral("Project loading canceled by user."));
            takeProjectIdentity(*choice, identity);
            folder = choice->folderPath;
        }
        result.hasBase = compareWithBase(context, longPathName(folder), result);
        if (result.hasBase && !tableFollows && !options.dryRun)
            result.notices << QStringLiteral("pdb.mdb is read-only: the table was not brought up to date with P3.");
        for (const QString& notice : result.notices)
            view.showInformation(notice);
        view.beginBusy();
        ScopeExit busy([&] { view.endBusy(); });
        const P3Object project = openProjectToSave(session, identity, quickSave, context.chooser);
        SaveWalk(context, options, repeatedLocalIds, result.hasBase, tableFollows, result).run(project);
        view.setStatus(saveStatus(result.written));
        busy.dismiss();
        view.endBusy();

        const QStringList problems = result.problems();
        if (!problems.isEmpty())
            view.showErrorList(problems);
    });
    if (!warning.isEmpty()) {
        result.notices << warning;
        view.showInformation(warning);
    }
    return result;
}

} // namespace orvane::p3link

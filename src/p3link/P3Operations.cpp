#include "p3link/P3Operations.h"

#include "store/ActivityLayout.h"

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

P3Object openProject(const QString& group, const QString& subproject)
{
    const QVariant result = subproject.isEmpty() ? Session.call(m::OpenProject, group)
                                                 : Session.call(m::OpenProject, group, subproject);
    return P3Object::fromVariant(result);
}

// Takes the picker's choice as the current project identity: a subproject
// of exactly one blank means the group itself.
void takeProjectIdentity(const ProjectChoice& choice)
{
    CurrentProjectGroup = choice.group;
    CurrentProjectName = choice.subproject == QLatin1String(" ") ? QString() : choice.subproject;
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

// Reads one activity into the table's open insert buffer.
void readActivity(const P3Object& activity, store::ActivityTable& table)
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

    // Logs by their sequence number; numbers outside 1 to 99 have no column.
    forEachElement(activity.object(m::ActivityLogs), [&](const P3Object& log) {
        const int number = log.integer(m::SequenceNumber);
        if (number >= 1 && number <= store::kLogCount)
            table.setFieldValue(store::logColumn(number), log.get(m::Text));
    });

    table.setFieldValue(store::kFlagColumn, false);
}

} // namespace

QString shortCursorMessage(int announced, int delivered)
{
    return QStringLiteral("P3 announced %1 activities but delivered %2. The %2 activities delivered were imported.")
        .arg(announced)
        .arg(delivered);
}

ImportResult importProject(OperationContext& context)
{
    ImportResult result;
    OperationView& view = context.view;
    runWithSession(SignInVariant::DialogCancelSkips, context.credentials, context.prompt, [&] {
        const std::optional<ProjectChoice> choice = context.chooser.chooseProject();
        if (!choice)
            throw EP3EngineError(QStringLiteral("Project loading canceled by user."));
        takeProjectIdentity(*choice);

        P3Object project;
        try {
            project = openProject(CurrentProjectGroup, CurrentProjectName);
        } catch (...) {
            throw EP3EngineError(QStringLiteral("Loading project failed!"));
        }
        // An empty result would fail on the first call after the table was
        // emptied; it fails here, while nothing local has changed.
        if (project.isNull())
            throw EP3EngineError(QStringLiteral("Loading project failed!"));

        if (choice->useFilter)
            chooseAndApplyFilter(project, context.chooser);

        view.showProject(QStringLiteral("Orvane - ") + CurrentProjectGroup + QLatin1Char(' ') + CurrentProjectName,
                         choice->folderPath);

        view.beginBusy();
        ScopeExit busy([&] { view.endBusy(); });

        store::ActivityTable& table = context.store.taActivities;
        context.store.ClearTable();

        if (context.dataFields)
            context.dataFields->fill();
        {
            int column = store::kFirstCodeColumn;
            forEachElement(project.object(m::ActivityCodes), [&](const P3Object& code) {
                const QString name = code.text(m::Name);
                if (column < store::kFirstLogColumn) {
                    if (context.dataFields)
                        context.dataFields->appendCode(name);
                    view.showCodeColumn(column, name);
                }
                ++column;
            });
            for (; column < store::kFirstLogColumn; ++column)
                view.hideCodeColumn(column);
        }

        const P3Object activities = project.object(m::Activities);
        const int count = activities.integer(m::Count);
        result.announced = std::max(count, 0);
        view.showProgress(result.announced);
        view.detachGrid();
        context.activityCount = 0;
        ScopeExit rows([&] {
            if (table.state() == store::ActivityTable::State::Insert)
                table.cancel();
            view.reattachGrid();
            view.hideProgress();
        });

        const P3Cursor cursor(activities);
        P3Object activity = count > 0 ? cursor.first() : P3Object();
        for (int k = 1; k <= count; ++k) {
            if (activity.isNull())
                break;   // the cursor ran out before Count: keep what came
            table.append();
            readActivity(activity, table);
            table.post();
            ++context.activityCount;
            if (k < count)
                activity = cursor.next();
            view.setProgress(k);
        }
        result.imported = context.activityCount;

        rows.dismiss();
        view.reattachGrid();
        table.first();
        view.hideProgress();
        view.setStatus(QStringLiteral("Get %1 Activities").arg(context.activityCount));
        busy.dismiss();
        view.endBusy();

        try {
            Session.call(m::CloseProject, project);
        } catch (...) {
            // A failing close changes nothing that was imported.
        }
        project.reset();
    });
    if (result.shortCursor())
        view.showInformation(shortCursorMessage(result.announced, result.imported));
    return result;
}

WriteBackResult writeBackLogs(OperationContext& context, SaveTarget target)
{
    WriteBackResult result;
    OperationView& view = context.view;
    const bool quickSave = target == SaveTarget::CurrentProject;
    if (quickSave && CurrentProjectGroup.isEmpty()) {
        view.showInformation(QStringLiteral("No project to quick save."));
        return result;
    }
    result.started = true;

    runWithSession(quickSave ? SignInVariant::NoDialog : SignInVariant::DialogCancelSignsIn, context.credentials,
                   context.prompt, [&] {
        if (!quickSave) {
            const std::optional<ProjectChoice> choice = context.chooser.chooseProject();
            if (!choice)
                throw EP3EngineError(QStringLiteral("Project loading canceled by user."));
            takeProjectIdentity(*choice);
        }

        view.beginBusy();
        ScopeExit busy([&] { view.endBusy(); });

        const QString openFailed = QStringLiteral("Can't open project ") + CurrentProjectGroup
                                   + QStringLiteral(" Save failed!");
        P3Object project;
        try {
            if (quickSave)
                Session.put(m::CurrentProjectPath, context.chooser.projectPath());
            project = openProject(CurrentProjectGroup, CurrentProjectName);
        } catch (...) {
            throw EP3EngineError(openFailed);
        }
        if (project.isNull())
            throw EP3EngineError(quickSave ? openFailed : QStringLiteral("Can't open project! Save failed!"));

        const P3Object activities = project.object(m::Activities);
        view.showProgress(activities.integer(m::Count));
        ScopeExit progress([&] { view.hideProgress(); });
        context.activityCount = 0;

        // One lookup per activity by its ID: without an index each lookup
        // would scan the whole table. Databases made before the index
        // existed get it here, once.
        context.store.ADOCon.executeRaw(QStringLiteral(
            "CREATE INDEX IF NOT EXISTS P3Data_ActivityID ON P3Data (ActivityID)"));
        store::Query& lookup = context.store.qGetActivity;
        ScopeExit closeLookup([&] { lookup.close(); });
        const QString saveText = QStringLiteral("Save %1 Activities");

        const P3Cursor cursor(activities);
        for (P3Object activity = cursor.first(); !activity.isNull(); activity = cursor.next()) {
            const QString id = activity.text(m::ActivityID);
            lookup.setParameter(QStringLiteral("ActID"), id);
            lookup.open();
            if (lookup.eof()) {
                result.missing << id + QStringLiteral(" is not found in local table.");
            } else {
                const QVariant description = lookup.value(store::kDescriptionColumn);
                if (!description.isNull() && !description.toString().isEmpty())
                    activity.put(m::Description, description);

                const P3Object logs = activity.object(m::ActivityLogs);
                forEachElement(logs, [&](const P3Object& log) { logs.call(m::Remove, log); });
                const int fields = lookup.fieldCount();
                for (int n = 1; n <= store::kLogCount; ++n) {
                    const QVariant line = lookup.value(fields - 101 + n);
                    if (line.isNull() || line.toString().isEmpty())
                        continue;
                    const P3Object log = logs.object(m::NewItem);
                    log.put(m::Text, line);
                    log.put(m::SequenceNumber, n);
                    logs.call(m::Add, log);
                }
                activities.call(m::Update, activity);
                ++context.activityCount;
                view.setStatus(saveText.arg(context.activityCount));
            }
            lookup.close();
            view.setProgress(context.activityCount);
        }
        result.written = context.activityCount;

        progress.dismiss();
        view.hideProgress();
        view.setStatus(saveText.arg(context.activityCount));
        busy.dismiss();
        view.endBusy();

        if (!result.missing.isEmpty())
            view.showErrorList(result.missing);
    });
    return result;
}

} // namespace orvane::p3link

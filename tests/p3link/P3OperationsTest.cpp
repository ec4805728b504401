// The import and the write-back without windows, against the simulated P3
// server and a real pdb.mdb.

#include "../p3sim/SimTestSupport.h"
#include "P3TestSupport.h"
#include "support/TempDatabase.h"

#include "p3link/P3Operations.h"
#include "store/CodeNames.h"
#include "store/ActivityLayout.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <memory>

using namespace orvane;
using namespace orvane::p3link;
using orvane::testing::RecordingView;
using orvane::testing::ScriptedChooser;
using orvane::testing::TestActivity;
namespace m = orvane::p3link::member;

namespace {

class P3OperationsTest : public orvane::testing::SimFixture {
protected:
    void SetUp() override
    {
        SimFixture::SetUp();
        Session.reset();
        CurrentProjectGroup.clear();
        CurrentProjectName.clear();
        // P3 runs with a user: no sign-in unless a test asks for one.
        p3sim::control().settings.hasCurrentUser = true;
        p3sim::control().settings.currentUser = QStringLiteral("PLANNER");
        store = std::make_unique<store::ActivityStore>();
        store->openAtStartup([](const QString& message) { FAIL() << message.toStdString(); });
    }
    void TearDown() override
    {
        store.reset();
        Session.reset();
        SimFixture::TearDown();
    }

    OperationContext context(ScriptedChooser& chooser)
    {
        return OperationContext{*store, credentials, nullptr, chooser, view,
                                {CurrentProjectGroup, CurrentProjectName}, &dataFields};
    }

    // Runs the import; returns the message of the error that ended it.
    QString import(ScriptedChooser chooser, ImportResult* result = nullptr)
    {
        lastChooser = chooser;
        OperationContext c = context(lastChooser);
        try {
            const ImportResult r = importProject(c);
            if (result)
                *result = r;
        } catch (const OrvaneError& e) {
            return e.message();
        }
        return QString();
    }

    QString save(SaveTarget target, ScriptedChooser chooser = ScriptedChooser(), WriteBackResult* result = nullptr)
    {
        lastChooser = chooser;
        OperationContext c = context(lastChooser);
        try {
            const WriteBackResult r = writeBackLogs(c, target);
            if (result)
                *result = r;
        } catch (const OrvaneError& e) {
            return e.message();
        }
        return QString();
    }

    QVariant local(const QString& id, int column) { return orvane::testing::readValue(id, store::fieldName(column)); }
    int localRows() { return store->taActivities.rowCount(); }

    // What P3 holds for an activity: description and (number, text) logs.
    struct P3Activity {
        QString description;
        std::vector<std::pair<int, QString>> logs;
    };
    P3Activity p3Activity(const QString& group, const QString& id, const QString& sub = QString())
    {
        P3Activity out;
        P3Object session(p3sim::createSession());
        const P3Object project = P3Object::fromVariant(sub.isEmpty() ? session.call(m::OpenProject, group)
                                                                     : session.call(m::OpenProject, group, sub));
        forEachElement(project.object(m::Activities), [&](const P3Object& a) {
            if (a.text(m::ActivityID) != id)
                return;
            out.description = a.text(m::Description);
            forEachElement(a.object(m::ActivityLogs), [&](const P3Object& log) {
                out.logs.emplace_back(log.integer(m::SequenceNumber), log.text(m::Text));
            });
        });
        session.call(m::CloseProject, project);
        return out;
    }

    void expectSessionEnded(int logouts = 1)
    {
        EXPECT_EQ(p3sim::control().callCount(QStringLiteral("Session.Logout")), logouts);
        EXPECT_TRUE(Session.isNull());
    }

    std::unique_ptr<orvane::testing::TempWorkDir> workDir = std::make_unique<orvane::testing::TempWorkDir>();
    std::unique_ptr<store::ActivityStore> store;
    P3Credentials credentials;
    RecordingView view;
    store::DataFieldList dataFields;
    QString CurrentProjectGroup, CurrentProjectName;
    ScriptedChooser lastChooser;
};

// --- import -------------------------------------------------------------

TEST_F(P3OperationsTest, ImportFillsTheTableAndTheWindow)
{
    orvane::testing::insertRow({{"ActivityID", "OLD1"}, {"Flag", true}});
    store->taActivities.requery();
    ImportResult result;
    ASSERT_EQ(import(ScriptedChooser::project("CLIN"), &result), QString());
    EXPECT_EQ(result.announced, 305);
    EXPECT_EQ(result.imported, 305);
    EXPECT_EQ(view.activityCount, 305);
    EXPECT_EQ(localRows(), 305);
    EXPECT_FALSE(local("OLD1", 0).isValid());
    EXPECT_EQ(CurrentProjectGroup, "CLIN");
    EXPECT_EQ(CurrentProjectName, "");
    EXPECT_EQ(view.caption, "Orvane - CLIN ");
    EXPECT_EQ(view.folder, "/folder");
    EXPECT_EQ(view.status, "Get 305 Activities");
    EXPECT_EQ(view.progressMax, 305);
    EXPECT_EQ(view.progress, 305);
    EXPECT_FALSE(view.progressVisible);
    EXPECT_EQ(view.busy, 0);
    EXPECT_EQ(view.detached, 0);
    EXPECT_EQ(store->taActivities.currentRow(), 0);
    EXPECT_TRUE(view.informations.isEmpty());
    // Every row unflagged, whatever was there before.
    EXPECT_EQ(orvane::testing::readValue("A1000", "Flag").toInt(), 0);
    int flagged = 0;
    for (int r = 0; r < localRows(); ++r)
        flagged += store->taActivities.value(r, store::kFlagColumn).toBool();
    EXPECT_EQ(flagged, 0);
    EXPECT_EQ(p3sim::control().callCount(QStringLiteral("CloseProject")), 1);
    expectSessionEnded();
}

// Every data field arrives in the column of its own name: an activity with a
// different value in each of the 28 fields is compared column by column with
// what P3 holds, as the file stores it. Two fields swapped anywhere between
// P3 and the table would put one value under the other's name.
TEST_F(P3OperationsTest, EveryDataFieldLandsInItsOwnColumn)
{
    const auto at = [](const char* text) {
        return QDateTime::fromString(QString::fromLatin1(text), QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    };
    const struct {
        const char* field;
        QJsonValue p3;        // as the project file holds it
        QVariant stored;      // as the table reads it back
    } fields[] = {
        {"ActivityID", "F28", "F28"},
        {"Description", "Every field differs", "Every field differs"},
        {"OriginalDuration", 11.0, 11.0},
        {"RemainingDuration", 12.5, 12.5},
        {"TotalFloat", -13.0, -13.0},
        {"FreeFloat", 14.0, 14.0},
        {"PercentComplete", 15.25, 15.25},
        {"EarlyStart", "2025-01-02T08:00:00", at("2025-01-02T08:00:00")},
        {"LateStart", "2025-02-03T09:00:00", at("2025-02-03T09:00:00")},
        {"EarlyFinish", "2025-03-04T10:00:00", at("2025-03-04T10:00:00")},
        {"LateFinish", "2025-04-05T11:00:00", at("2025-04-05T11:00:00")},
        {"ActualStart", "2025-05-06T12:00:00", at("2025-05-06T12:00:00")},
        {"ActualFinish", "2025-06-07T13:00:00", at("2025-06-07T13:00:00")},
        {"ActualDuration", 16.0, 16.0},
        {"SuspendDate", "2025-07-08T14:00:00", at("2025-07-08T14:00:00")},
        {"ResumeDate", "2025-08-09T15:00:00", at("2025-08-09T15:00:00")},
        {"ActivityType", "Task", "Task"},
        {"EarlyConstraintType", "Start On", "Start On"},
        {"EarlyConstraintDate", "2025-09-10T16:00:00", at("2025-09-10T16:00:00")},
        {"LateConstraintType", "Finish On", "Finish On"},
        {"LateConstraintDate", "2025-10-11T17:00:00", at("2025-10-11T17:00:00")},
        {"MandatoryConstraintType", "Mandatory Start", "Mandatory Start"},
        {"MandatoryConstraintDate", "2025-11-12T07:00:00", at("2025-11-12T07:00:00")},
        {"ExpectedFinishDate", "2025-12-13T06:00:00", at("2025-12-13T06:00:00")},
        {"WBSCodeWithSeparators", "WBS.1.2", "WBS.1.2"},
        {"FloatConstraintType", "Zero Free Float", "Zero Free Float"},
        {"WBSCode", "1.2", "1.2"},
        {"CalendarID", "7", "7"},
    };
    QJsonObject line{{"codes", QJsonObject()}, {"logs", QJsonArray()}};
    for (const auto& f : fields)
        line.insert(QLatin1String(f.field), f.p3);
    ASSERT_EQ(line.size(), 2 + 28);
    orvane::testing::writeProjectLines(projects, "ALLF", {}, {QJsonDocument(line).toJson(QJsonDocument::Compact)});

    ASSERT_EQ(import(ScriptedChooser::project("ALLF")), QString());
    ASSERT_EQ(localRows(), 1);
    for (const auto& f : fields)
        EXPECT_EQ(orvane::testing::readValue("F28", QLatin1String(f.field)), f.stored) << f.field;
}

TEST_F(P3OperationsTest, CancelAndOpenFailuresLeaveTheTable)
{
    ASSERT_EQ(import(ScriptedChooser::project("DEPO")), QString());
    const int before = localRows();
    ASSERT_GT(before, 0);
    view = RecordingView();

    struct Case {
        const char* name;
        ScriptedChooser chooser;
        bool openEmpty;
        QString message;
        QString group;
    };
    ScriptedChooser cancel;
    const std::vector<Case> cases = {
        {"cancel", cancel, false, "Project loading canceled by user.", "DEPO"},
        // P3's own reason follows on the next line.
        {"unknown project", ScriptedChooser::project("NOPE"), false, "Loading project failed!\nProject NOPE not found",
         "NOPE"},
        {"empty project object", ScriptedChooser::project("CLIN"), true, "Loading project failed!", "CLIN"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        p3sim::control().openProjectReturnsEmpty = c.openEmpty;
        p3sim::control().clearCalls();
        const QString message = import(c.chooser);
        EXPECT_TRUE(message.startsWith(c.message)) << message.toStdString();
        EXPECT_EQ(localRows(), before);
        EXPECT_EQ(CurrentProjectGroup, c.group);
        EXPECT_TRUE(view.caption.isEmpty());
        EXPECT_TRUE(view.status.isEmpty());
        EXPECT_TRUE(view.events.isEmpty());
        expectSessionEnded();
    }
}

TEST_F(P3OperationsTest, CodeColumnsAndDataFieldList)
{
    struct Case {
        int codes;
        int shown;
    };
    for (const Case& c : {Case{5, 5}, Case{20, 20}, Case{22, 20}, Case{0, 0}}) {
        SCOPED_TRACE(c.codes);
        QStringList names;
        QJsonObject values;
        for (int k = 1; k <= c.codes; ++k) {
            names << QStringLiteral("C%1").arg(k);
            values.insert(names.last(), QStringLiteral("v%1").arg(k));
        }
        const QString group = QStringLiteral("K%1").arg(c.codes);
        orvane::testing::writeProject(projects, group, names, {{"X1", "one", values, {{1, "log"}}}});
        view = RecordingView();
        ASSERT_EQ(import(ScriptedChooser::project(group)), QString());

        ASSERT_EQ(int(view.shownCodes.size()), c.shown);
        for (int k = 1; k <= c.shown; ++k)
            EXPECT_EQ(view.shownCodes[k - 1], std::make_pair(27 + k, names[k - 1]));
        std::vector<int> hidden;
        for (int col = 28 + c.shown; col <= 47; ++col)
            hidden.push_back(col);
        EXPECT_EQ(view.hiddenCodes, hidden);

        ASSERT_EQ(dataFields.size(), 27 + c.shown);
        EXPECT_EQ(dataFields.at(0).caption, "Activity ID");
        EXPECT_EQ(dataFields.at(26).field(), "WBSCode");
        for (int k = 1; k <= c.shown; ++k) {
            EXPECT_EQ(dataFields.at(26 + k).caption, names[k - 1]);
            EXPECT_EQ(dataFields.at(26 + k).field(), QStringLiteral("ActivityCode%1").arg(k));
        }
        EXPECT_EQ(dataFields.selected(), 0);
        // The names are kept with the rows, for the next start.
        EXPECT_EQ(store::readCodeNames(store->ADOCon), std::optional<QStringList>(names));

        for (int col = 28; col <= 47; ++col) {
            const QVariant v = local("X1", col);
            if (col < 28 + c.shown)
                EXPECT_EQ(v.toString(), QStringLiteral("v%1").arg(col - 27));
            else
                EXPECT_FALSE(v.isValid()) << col;
        }
        // Codes past the last slot never reach the log columns.
        EXPECT_EQ(local("X1", store::logColumn(1)).toString(), "log");
        EXPECT_FALSE(local("X1", store::logColumn(2)).isValid());
    }
}

TEST_F(P3OperationsTest, LogNumbersPickTheirColumns)
{
    orvane::testing::writeProject(
        projects, "LOGS", {},
        {{"L1", "d", {}, {{1, "first"}, {2, "second"}, {99, "last"}, {0, "zero"}, {100, "hundred"}, {-3, "neg"}}},
         {"L2", "d", {}, {{5, "early"}, {5, "later wins"}}},
         {"L3", "d", {}, {}}});
    ASSERT_EQ(import(ScriptedChooser::project("LOGS")), QString());
    for (int n = 1; n <= 99; ++n) {
        const QVariant v = local("L1", store::logColumn(n));
        if (n == 1)
            EXPECT_EQ(v.toString(), "first");
        else if (n == 2)
            EXPECT_EQ(v.toString(), "second");
        else if (n == 99)
            EXPECT_EQ(v.toString(), "last");
        else
            EXPECT_FALSE(v.isValid()) << n;
    }
    EXPECT_EQ(local("L2", store::logColumn(5)).toString(), "later wins");
    EXPECT_EQ(local("L1", store::kFlagColumn).toInt(), 0);
    EXPECT_FALSE(local("L3", store::logColumn(1)).isValid());
}

TEST_F(P3OperationsTest, FilterChoice)
{
    ScriptedChooser chooser = ScriptedChooser::project("CLIN");
    chooser.choice->useFilter = true;
    chooser.filterId = QStringLiteral("EL");
    ImportResult result;
    ASSERT_EQ(import(chooser, &result), QString());
    EXPECT_EQ(lastChooser.filterLinesShown.size(), 4);
    EXPECT_TRUE(lastChooser.filterLinesShown.first().contains(" - "));
    EXPECT_GT(result.imported, 0);
    EXPECT_LT(result.imported, 305);
    EXPECT_EQ(localRows(), result.imported);
    bool applied = false;
    for (const auto& call : p3sim::control().calls())
        if (call.member == "ApplyFilter")
            applied = call.args == QVariantList{QStringLiteral("EL"), 1};
    EXPECT_TRUE(applied);

    // Cancel in the filter picker: the whole project, nothing applied.
    p3sim::control().clearCalls();
    chooser.filterId.reset();
    ASSERT_EQ(import(chooser, &result), QString());
    EXPECT_EQ(result.imported, 305);
    EXPECT_EQ(p3sim::control().callCount(QStringLiteral("ApplyFilter")), 0);

    // Without "Use filter" the filter picker is not shown.
    lastChooser.filterLinesShown.clear();
    ASSERT_EQ(import(ScriptedChooser::project("CLIN")), QString());
    EXPECT_TRUE(lastChooser.filterLinesShown.isEmpty());
}

// A failed import leaves the previous table exactly as it was (a local edit
// included), with the previous project identity and the window restored.
TEST_F(P3OperationsTest, FailedImportLeavesThePreviousTable)
{
    ASSERT_EQ(import(ScriptedChooser::project("DEPO")), QString());
    store::ActivityTable& table = store->taActivities;
    table.first();
    table.edit();
    table.setFieldValue(store::logColumn(7), QStringLiteral("edited, not yet saved"));
    table.post();
    const QString depoId = table.fieldValue(0).toString();
    const int depoRows = localRows();

    struct Case {
        const char* name;
        QString member;
        int call;
    };
    const std::vector<Case> cases = {
        {"first activity's logs", "Activity.ActivityLogs", 1},
        {"midway", "Activity.ActivityLogs", 150},
        {"last activity's text", "Log.Text", 0},   // 0: the last Text call of a full import
        {"cursor", "Cursor.GetNext", 305},
        {"code names", "ActivityCode.Name", 1},
    };
    // Counts the Text calls of a whole import once, for the "last" case.
    p3sim::control().clearCalls();
    ASSERT_EQ(import(ScriptedChooser::project("CLIN")), QString());
    const int textCalls = p3sim::control().callCount(QStringLiteral("Log.Text"));
    ASSERT_EQ(import(ScriptedChooser::project("DEPO")), QString());
    table.first();
    table.edit();
    table.setFieldValue(store::logColumn(7), QStringLiteral("edited, not yet saved"));
    table.post();

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        view = RecordingView();
        p3sim::control().clearCalls();
        p3sim::control().failOn(c.member, c.call ? c.call : textCalls, QStringLiteral("Disk on fire"));
        EXPECT_EQ(import(ScriptedChooser::project("CLIN")), "Disk on fire");
        EXPECT_EQ(localRows(), depoRows);
        EXPECT_EQ(orvane::testing::readValue(depoId, "Log#7").toString(), "edited, not yet saved");
        EXPECT_FALSE(local("A1000", 0).isValid());
        // DEPO's (no) code names stay with DEPO's rows.
        EXPECT_EQ(store::readCodeNames(store->ADOCon), std::optional<QStringList>(QStringList()));
        EXPECT_EQ(table.state(), store::ActivityTable::State::Browse);
        EXPECT_EQ(table.fieldValue(0).toString(), depoId);
        EXPECT_EQ(CurrentProjectGroup, "DEPO");
        EXPECT_FALSE(view.progressVisible);
        EXPECT_EQ(view.busy, 0);
        EXPECT_EQ(view.detached, 0);
        EXPECT_TRUE(view.status.isEmpty());
        EXPECT_TRUE(view.events.contains("restore") || !view.events.contains("project"));
        EXPECT_EQ(p3sim::control().callCount(QStringLiteral("CloseProject")), 0);
        expectSessionEnded();
        p3sim::control().clearFaults();
    }
}

TEST_F(P3OperationsTest, ShortCursorKeepsWhatCame)
{
    p3sim::control().activitiesCursorShortBy = 5;
    ImportResult result;
    ASSERT_EQ(import(ScriptedChooser::project("CLIN"), &result), QString());
    EXPECT_EQ(result.announced, 305);
    EXPECT_EQ(result.imported, 300);
    EXPECT_EQ(localRows(), 300);
    EXPECT_EQ(view.status, "Get 300 Activities");
    ASSERT_EQ(view.informations.size(), 1);
    EXPECT_TRUE(view.informations[0].contains("305"));
    EXPECT_TRUE(view.informations[0].contains("300"));
    expectSessionEnded();
}

TEST_F(P3OperationsTest, TwoImportsAndTheSubprojectOfOneBlank)
{
    ASSERT_EQ(import(ScriptedChooser::project("TWNT")), QString());
    EXPECT_EQ(dataFields.codeCount(), 20);
    view = RecordingView();
    ASSERT_EQ(import(ScriptedChooser::project("CLIN", " ")), QString());
    EXPECT_EQ(dataFields.codeCount(), 6);
    EXPECT_EQ(view.shownCodes.size(), 6u);
    EXPECT_EQ(view.hiddenCodes.front(), 34);
    EXPECT_EQ(localRows(), 305);
    int opens = 0;
    for (const auto& call : p3sim::control().calls())
        if (call.member == "OpenProject" && call.args == QVariantList{QStringLiteral("CLIN")})
            ++opens;
    EXPECT_EQ(opens, 1);

    ASSERT_EQ(import(ScriptedChooser::project("CAMP", "LIBR")), QString());
    EXPECT_EQ(CurrentProjectName, "LIBR");
    EXPECT_EQ(view.caption, "Orvane - CAMP LIBR");
}

TEST_F(P3OperationsTest, ImportSignInVariantCancelSkips)
{
    p3sim::control().settings.hasCurrentUser = false;
    // No prompt acts as Cancel: no Login, and the listing of a project then
    // fails on the users list.
    EXPECT_EQ(import(ScriptedChooser::project("CLIN")),
              "Loading project failed!\nNo user is signed in to P3. Log in before listing or opening projects.");
    EXPECT_EQ(p3sim::control().callCount(QStringLiteral("Login")), 0);
    expectSessionEnded();
}

// --- write-back -----------------------------------------------------------

TEST_F(P3OperationsTest, QuickSaveBeforeAnyProject)
{
    WriteBackResult result;
    EXPECT_EQ(save(SaveTarget::CurrentProject, ScriptedChooser(), &result), QString());
    EXPECT_FALSE(result.started);
    EXPECT_EQ(view.informations, QStringList{"No project to quick save."});
    EXPECT_TRUE(p3sim::control().calls().empty());
}

TEST_F(P3OperationsTest, SaveReplacesLogsKeepsGapsAndSkipsEmptyDescriptions)
{
    ASSERT_EQ(import(ScriptedChooser::project("CLIN")), QString());
    const QString before = p3Activity("CLIN", "A1000").description;
    orvane::testing::execRaw(
        "UPDATE P3Data SET Description = '', [Log#1] = NULL, [Log#2] = 'two', [Log#3] = '', [Log#4] = NULL, "
        "[Log#5] = '  ', [Log#6] = NULL, [Log#99] = 'end' WHERE ActivityID = 'A1000'");
    for (int n = 7; n < 99; ++n)
        orvane::testing::execRaw(QStringLiteral("UPDATE P3Data SET [Log#%1] = NULL WHERE ActivityID = 'A1000'").arg(n));
    orvane::testing::execRaw("UPDATE P3Data SET Description = 'New words', Flag = 1 WHERE ActivityID = 'A1010'");
    view = RecordingView();
    p3sim::control().clearCalls();
    ScriptedChooser chooser;
    chooser.path = projects;
    WriteBackResult result;
    ASSERT_EQ(save(SaveTarget::CurrentProject, chooser, &result), QString());
    EXPECT_EQ(result.written, 305);
    EXPECT_TRUE(result.missing.isEmpty());
    EXPECT_TRUE(view.errorLists.empty());
    EXPECT_EQ(view.status, "Save 305 Activities");
    EXPECT_FALSE(view.progressVisible);
    EXPECT_EQ(view.progressMax, 305);
    EXPECT_EQ(view.busy, 0);
    EXPECT_EQ(p3sim::control().callCount(QStringLiteral("Session.Login")), 0);
    EXPECT_EQ(p3sim::control().callCount(QStringLiteral("CurrentProjectPath=")), 1);
    // Only the two activities that differ from P3 are rewritten.
    EXPECT_EQ(p3sim::control().callCount(QStringLiteral("Update")), 2);
    EXPECT_EQ(result.rewritten, 2);
    expectSessionEnded();

    const P3Activity a = p3Activity("CLIN", "A1000");
    EXPECT_EQ(a.description, before);
    const std::vector<std::pair<int, QString>> expected{{2, "two"}, {5, "  "}, {99, "end"}};
    EXPECT_EQ(a.logs, expected);
    EXPECT_EQ(p3Activity("CLIN", "A1010").description, "New words");
}

TEST_F(P3OperationsTest, SaveListsMissingActivitiesInP3Order)
{
    ASSERT_EQ(import(ScriptedChooser::project("CLIN")), QString());
    orvane::testing::execRaw("DELETE FROM P3Data WHERE ActivityID IN ('A1020', 'A1000')");
    WriteBackResult result;
    ScriptedChooser target = ScriptedChooser::project("CLIN");
    ASSERT_EQ(save(SaveTarget::ChosenProject, target, &result), QString());
    const QStringList expected{"A1000 is not found in local table.", "A1020 is not found in local table."};
    EXPECT_EQ(result.missing, expected);
    ASSERT_EQ(view.errorLists.size(), 1u);
    EXPECT_EQ(view.errorLists[0], expected);
    EXPECT_EQ(result.written, 303);
    EXPECT_EQ(view.status, "Save 303 Activities");
}

TEST_F(P3OperationsTest, SaveFailuresAndTheirMessages)
{
    ASSERT_EQ(import(ScriptedChooser::project("CLIN")), QString());
    struct Case {
        const char* name;
        SaveTarget target;
        ScriptedChooser chooser;
        bool openEmpty;
        QString message;
        QString groupAfter;
    };
    const std::vector<Case> cases = {
        {"picker cancelled", SaveTarget::ChosenProject, ScriptedChooser(), false, "Project loading canceled by user.",
         "CLIN"},
        {"unknown project", SaveTarget::ChosenProject, ScriptedChooser::project("NOPE"), false,
         "Can't open project NOPE Save failed!", "NOPE"},
        {"no project object, chosen", SaveTarget::ChosenProject, ScriptedChooser::project("DEPO"), true,
         "Can't open project! Save failed!", "DEPO"},
        {"no project object, quick", SaveTarget::CurrentProject, ScriptedChooser(), true,
         "Can't open project DEPO Save failed!", "DEPO"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        p3sim::control().openProjectReturnsEmpty = c.openEmpty;
        p3sim::control().clearCalls();
        view = RecordingView();
        EXPECT_EQ(save(c.target, c.chooser), c.message);
        EXPECT_EQ(CurrentProjectGroup, c.groupAfter);
        EXPECT_EQ(p3sim::control().callCount(QStringLiteral("Update")), 0);
        EXPECT_EQ(view.busy, 0);
        expectSessionEnded();
    }
}

TEST_F(P3OperationsTest, ErrorInTheSaveLoopClosesTheLookup)
{
    ASSERT_EQ(import(ScriptedChooser::project("CLIN")), QString());
    orvane::testing::execRaw("UPDATE P3Data SET [Log#1] = 'after retry'");
    p3sim::control().clearCalls();
    p3sim::control().failOn(QStringLiteral("Activities.Update"), 10, QStringLiteral("Update refused"));
    view = RecordingView();
    // The message says how much of P3 was already written.
    EXPECT_EQ(save(SaveTarget::ChosenProject, ScriptedChooser::project("CLIN")),
              "Update refused.\n9 activities had already been written to P3; the others are as they were.");
    EXPECT_EQ(view.activityCount, 9);
    EXPECT_FALSE(view.progressVisible);
    EXPECT_EQ(view.busy, 0);
    EXPECT_TRUE(view.errorLists.empty());
    EXPECT_FALSE(store->qGetActivity.isOpen());
    expectSessionEnded();

    // The next write-back starts from a closed lookup: its first activity
    // reads its own row.
    WriteBackResult result;
    ASSERT_EQ(save(SaveTarget::ChosenProject, ScriptedChooser::project("CLIN"), &result), QString());
    EXPECT_EQ(result.written, 305);
    EXPECT_EQ(p3Activity("CLIN", "A1000").logs.front(), std::make_pair(1, QString("after retry")));
}

TEST_F(P3OperationsTest, SaveToPrimaveraSignsInEvenAfterCancel)
{
    ASSERT_EQ(import(ScriptedChooser::project("CLIN")), QString());
    p3sim::control().settings.hasCurrentUser = false;
    p3sim::control().clearCalls();
    credentials = {QStringLiteral("PLANNER"), QStringLiteral("SCHEDULE")};
    FixedLoginPrompt cancel(std::nullopt);
    ScriptedChooser chooser = ScriptedChooser::project("CLIN");
    lastChooser = chooser;
    OperationContext c{*store, credentials, &cancel, lastChooser, view, {CurrentProjectGroup, CurrentProjectName},
                       &dataFields};
    const WriteBackResult result = writeBackLogs(c, SaveTarget::ChosenProject);
    EXPECT_EQ(result.written, 305);
    EXPECT_EQ(p3sim::control().callCount(QStringLiteral("Login")), 1);
    expectSessionEnded();
}

TEST_F(P3OperationsTest, RoundTripShowsTheEdit)
{
    ASSERT_EQ(import(ScriptedChooser::project("CAMP", "LIBR")), QString());
    store::ActivityTable& table = store->taActivities;
    table.first();
    const QString id = table.fieldValue(0).toString();
    table.edit();
    table.setFieldValue(store::logColumn(4), QStringLiteral("Edited in the grid"));
    table.post();
    ScriptedChooser chooser;
    chooser.path = projects;
    ASSERT_EQ(save(SaveTarget::CurrentProject, chooser), QString());
    orvane::testing::execRaw("DELETE FROM P3Data");
    ASSERT_EQ(import(ScriptedChooser::project("CAMP", "LIBR")), QString());
    EXPECT_EQ(local(id, store::logColumn(4)).toString(), "Edited in the grid");
}

TEST_F(P3OperationsTest, ImportAndSaveEndTheUndoHistory)
{
    store->undo.setEnabled(true);
    const auto bulkChange = [&] {
        store::UndoRecording recording(store->undo, QStringLiteral("bulk"));
        store->ADOCon.execute(QStringLiteral("UPDATE [P3Data] SET [Log#20] = [Description]"));
        recording.finish();
        ASSERT_TRUE(store->undo.canUndo());
    };
    ASSERT_EQ(import(ScriptedChooser::project("CAMP", "LIBR")), QString());
    bulkChange();
    ASSERT_EQ(import(ScriptedChooser::project("CAMP", "LIBR")), QString());
    EXPECT_FALSE(store->undo.canUndo()) << "undo after an import is refused";
    EXPECT_THROW(store->undo.undo(), OrvaneError);
    bulkChange();
    ScriptedChooser chooser;
    chooser.path = projects;
    ASSERT_EQ(save(SaveTarget::CurrentProject, chooser), QString());
    EXPECT_FALSE(store->undo.canUndo()) << "undo after a save to P3 is refused";
}

// --- what the round trip must not lose -------------------------------------

// Activity lines of every log shape a project file can hold. The table
// shows logs 1 to 99 only, one per number.
QList<QByteArray> logShapeLines()
{
    QByteArray many = R"({"ActivityID":"MANY","Description":"ten thousand","logs":[)";
    for (int n = 1; n <= 10000; ++n)
        many += (n > 1 ? "," : "") + QByteArray("[") + QByteArray::number(n) + ",\"log " + QByteArray::number(n) + "\"]";
    many += "]}";
    return {
        R"({"ActivityID":"PLAIN","Description":"plain","logs":[[1,"one"],[3,"three"]]})",
        R"({"ActivityID":"ODD","Description":"odd numbers","logs":[[0,"zero"],[100,"hundred"],[-1,"neg"],[2.5,"half"],[3,"three"]]})",
        R"({"ActivityID":"DUPN","Description":"two fives","logs":[[5,"first five"],[5,"second five"],[6,"six"]]})",
        many,
        R"({"ActivityID":"TWIN","Description":"twin one","logs":[[1,"first twin"]]})",
        R"({"ActivityID":"TWIN","Description":"twin two","logs":[[1,"second twin"]]})",
        R"({"ActivityID":"EMPTY","Description":"","logs":[[4,""]]})",
    };
}

class RoundTripTest : public P3OperationsTest {
protected:
    void SetUp() override
    {
        P3OperationsTest::SetUp();
        orvane::testing::writeProjectLines(projects, "SHAP", {}, logShapeLines());
        activitiesFile = projects + QStringLiteral("/SHAP.activities.jsonl");
        before = orvane::testing::fileBytes(activitiesFile);
        ASSERT_EQ(import(ScriptedChooser::project("SHAP"), &imported), QString());
    }
    // The project's activity lines as P3 holds them now.
    QList<QJsonObject> p3Lines()
    {
        p3sim::flushAll();
        QList<QJsonObject> out;
        for (const QByteArray& line : orvane::testing::fileBytes(activitiesFile).split('\n'))
            if (!line.isEmpty())
                out << QJsonDocument::fromJson(line).object();
        return out;
    }
    QString activitiesFile;
    QByteArray before;
    ImportResult imported;
};

TEST_F(RoundTripTest, UneditedImportAndSaveLeaveP3AsItWas)
{
    EXPECT_EQ(imported.repeatedIds, QStringList{"TWIN"});
    EXPECT_EQ(imported.repeatedLogNumbers, QStringList{"DUPN"});
    EXPECT_EQ(imported.unshownLogs, (QStringList{"ODD", "MANY"}));
    ASSERT_EQ(view.informations.size(), 1);
    EXPECT_TRUE(view.informations[0].contains("TWIN"));
    EXPECT_EQ(local("DUPN", store::logColumn(5)).toString(), "second five");

    view = RecordingView();
    p3sim::control().clearCalls();
    WriteBackResult result;
    ASSERT_EQ(save(SaveTarget::ChosenProject, ScriptedChooser::project("SHAP"), &result), QString());
    EXPECT_EQ(result.rewritten, 0);
    EXPECT_EQ(result.written, 5);
    for (const char* member : {"Update", "Remove", "Add", "NewItem", "Description="})
        EXPECT_EQ(p3sim::control().callCount(QString::fromLatin1(member)), 0) << member;
    p3sim::flushAll();
    EXPECT_EQ(orvane::testing::fileBytes(activitiesFile), before);
    // Twins are named, never guessed at.
    ASSERT_EQ(view.errorLists.size(), 1u);
    EXPECT_EQ(view.errorLists[0].size(), 2);
    EXPECT_TRUE(view.errorLists[0][0].startsWith("TWIN "));
}

TEST_F(RoundTripTest, ChangedActivitiesKeepTheLogsTheTableCannotHold)
{
    orvane::testing::execRaw("UPDATE P3Data SET [Log#7] = 'new seven' WHERE ActivityID IN ('ODD', 'DUPN', 'MANY')");
    orvane::testing::execRaw("UPDATE P3Data SET [Log#1] = 'edited twin' WHERE ActivityID = 'TWIN'");
    WriteBackResult result;
    ASSERT_EQ(save(SaveTarget::ChosenProject, ScriptedChooser::project("SHAP"), &result), QString());
    EXPECT_EQ(result.rewritten, 3);

    const QList<QJsonObject> lines = p3Lines();
    ASSERT_EQ(lines.size(), 7);
    auto logsOf = [&](int line) { return QJsonDocument(lines[line].value("logs").toArray()).toJson(QJsonDocument::Compact); };
    EXPECT_EQ(logsOf(0), R"([[1,"one"],[3,"three"]])");
    // The numbers the table has no column for stay, whole or not.
    EXPECT_EQ(logsOf(1), R"([[0,"zero"],[100,"hundred"],[-1,"neg"],[2.5,"half"],[3,"three"],[7,"new seven"]])");
    // Of two logs with one number the one the user saw is kept.
    EXPECT_EQ(logsOf(2), R"([[5,"second five"],[6,"six"],[7,"new seven"]])");
    const QJsonArray many = lines[3].value("logs").toArray();
    // 100 to 10,000 kept as they were, then 1 to 99 as the table holds them.
    ASSERT_EQ(many.size(), 10000);
    EXPECT_EQ(many.first().toArray().at(0).toInt(), 100);
    EXPECT_EQ(many.at(9901 + 6).toArray().at(1).toString(), "new seven");
    // Twins stay exactly as they were, both.
    EXPECT_EQ(logsOf(4), R"([[1,"first twin"]])");
    EXPECT_EQ(logsOf(5), R"([[1,"second twin"]])");
}

TEST_F(RoundTripTest, IdsThatAreNotUniqueAreLeftAloneAndListed)
{
    // A second local row for PLAIN: which one is PLAIN's cannot be told.
    // TWIN keeps one local row, but two P3 activities bear its ID.
    orvane::testing::insertRow({{"ActivityID", "PLAIN"}, {"Log#1", "other"}});
    orvane::testing::execRaw("DELETE FROM P3Data WHERE rowid = (SELECT max(rowid) FROM P3Data WHERE ActivityID = 'TWIN')");
    orvane::testing::execRaw("UPDATE P3Data SET [Log#2] = 'changed' WHERE ActivityID IN ('PLAIN', 'TWIN')");
    WriteBackResult result;
    ASSERT_EQ(save(SaveTarget::ChosenProject, ScriptedChooser::project("SHAP"), &result), QString());
    EXPECT_EQ(result.notUnique.size(), 3);
    ASSERT_EQ(view.errorLists.size(), 1u);
    const QStringList& lines = view.errorLists[0];
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].startsWith("PLAIN is found in more than one row of local table"));
    EXPECT_TRUE(lines[1].startsWith("TWIN is the ID of more than one activity in P3"));
    EXPECT_EQ(lines[2], lines[1]);
    p3sim::flushAll();
    EXPECT_EQ(orvane::testing::fileBytes(activitiesFile), before);
}

TEST_F(RoundTripTest, ShortCursorOnSaveGivesBothCounts)
{
    orvane::testing::execRaw("UPDATE P3Data SET [Log#9] = 'nine'");
    p3sim::control().activitiesCursorShortBy = 2;
    WriteBackResult result;
    ASSERT_EQ(save(SaveTarget::ChosenProject, ScriptedChooser::project("SHAP"), &result), QString());
    EXPECT_TRUE(result.shortCursor());
    EXPECT_EQ(result.announced, 7);
    EXPECT_EQ(result.delivered, 5);
    ASSERT_EQ(view.errorLists.size(), 1u);
    EXPECT_EQ(view.errorLists[0].first(), shortSaveCursorMessage(7, 5));
    EXPECT_TRUE(view.errorLists[0].first().contains("7") && view.errorLists[0].first().contains("5"));
}

// A fault at every kind of P3 call of a write-back: every activity ends up
// wholly as it was or wholly as the local row, and the session ends once.
TEST_F(P3OperationsTest, SaveFaultLeavesEachActivityWhollyOldOrNew)
{
    const std::vector<TestActivity> original = {
        {"F1", "one", {}, {{1, "old 1a"}, {2, "old 1b"}}},
        {"F2", "two", {}, {{1, "old 2a"}}},
        {"F3", "three", {}, {{3, "old 3a"}, {4, "old 3b"}}},
    };
    struct Case {
        const char* member;
        int call;
        bool sessionError;   // the failure is in the sign-out, after every write
    };
    const std::vector<Case> cases = {
        {"ActivityLogs.Remove", 3, false}, {"NewItem", 2, false},  {"Text=", 4, false},
        {"SequenceNumber=", 5, false},     {"ActivityLogs.Add", 6, false}, {"Activities.Update", 1, false},
        {"Activities.Update", 3, false},   {"Logout", 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.member) + " #" + std::to_string(c.call));
        // The call log holds the last save's objects, and with them this
        // process's copy of the project: let go of it so P3 reads the file.
        p3sim::control().clearCalls();
        p3sim::flushAll();
        orvane::testing::writeProject(projects, "FLT", {}, original);
        ASSERT_EQ(import(ScriptedChooser::project("FLT")), QString());
        orvane::testing::execRaw("UPDATE P3Data SET Description = 'new ' || ActivityID, [Log#1] = 'new a', "
                                 "[Log#2] = NULL, [Log#3] = NULL, [Log#4] = NULL, [Log#5] = 'new b'");
        p3sim::control().clearCalls();
        if (c.sessionError)
            p3sim::control().logoutFailure = QStringLiteral("Logout refused");
        else
            p3sim::control().failOn(QString::fromLatin1(c.member), c.call, QStringLiteral("P3 refused"));
        view = RecordingView();
        const QString message = save(SaveTarget::ChosenProject, ScriptedChooser::project("FLT"));
        if (!c.sessionError) {
            EXPECT_TRUE(message.startsWith("P3 refused.\n")) << message.toStdString();
        }
        EXPECT_EQ(p3sim::control().callCount(QStringLiteral("Session.Logout")), 1);
        p3sim::control().clearFaults();
        p3sim::control().logoutFailure.clear();
        Session.reset();

        for (const TestActivity& a : original) {
            const P3Activity now = p3Activity("FLT", a.id);
            const bool wholeOld = now.description == a.description && now.logs == a.logs;
            const bool wholeNew = now.description == "new " + a.id
                                  && now.logs == std::vector<std::pair<int, QString>>{{1, "new a"}, {5, "new b"}};
            EXPECT_TRUE(wholeOld || wholeNew) << a.id.toStdString() << " " << now.description.toStdString();
        }
    }
}

// With a table of another layout, neither P3 nor the file is touched.
TEST(P3OperationsRefusedTable, ImportAndSaveStopBeforeP3)
{
    for (const char* extra : {"ALTER TABLE P3Data ADD COLUMN Extra TEXT", "ALTER TABLE P3Data DROP COLUMN Flag"}) {
        SCOPED_TRACE(extra);
        orvane::testing::TempWorkDir dir;
        orvane::testing::execRaw(QString::fromLatin1(extra));
        const QByteArray bytes = orvane::testing::fileBytes(dir.file("pdb.mdb"));
        p3sim::control().reset();
        p3sim::control().recordCalls = true;
        store::ActivityStore st;
        QStringList reported;
        st.openAtStartup([&](const QString& m) { reported << m; });
        ASSERT_EQ(reported.size(), 1);
        EXPECT_TRUE(reported[0].contains("expected layout"));
        P3Credentials credentials;
        ScriptedChooser chooser = ScriptedChooser::project("CLIN");
        RecordingView view;
        QString projectGroup = QStringLiteral("CLIN"), projectName;
        OperationContext context{st, credentials, nullptr, chooser, view, {projectGroup, projectName}, nullptr};
        for (int k = 0; k < 3; ++k) {
            try {
                if (k == 0)
                    importProject(context);
                else
                    writeBackLogs(context, k == 1 ? SaveTarget::CurrentProject : SaveTarget::ChosenProject);
                ADD_FAILURE() << "not refused: " << k;
            } catch (const OrvaneError& e) {
                EXPECT_EQ(e.message(), reported[0]);
            }
        }
        EXPECT_TRUE(p3sim::control().calls().empty());
        EXPECT_EQ(chooser.projectAsked, 0);
        st.ADOCon.close();
        EXPECT_EQ(orvane::testing::fileBytes(dir.file("pdb.mdb")), bytes);
    }
}

} // namespace

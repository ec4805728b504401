// Two planners in one P3 project: the save merges, text by text, what the
// user changed in the table since the import with what a colleague changed
// in P3 meanwhile; the import asks before it drops unsaved changes. Run
// against the simulated P3 server and a real pdb.mdb.

#include "../p3sim/SimTestSupport.h"
#include "P3TestSupport.h"
#include "support/TempDatabase.h"

#include "p3link/P3Operations.h"
#include "store/ActivityStore.h"
#include "store/TextMerge.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <functional>
#include <memory>

using namespace orvane;
using namespace orvane::p3link;
using orvane::testing::RecordingView;
using orvane::testing::ScriptedChooser;
using orvane::testing::TestActivity;

namespace {

TEST(TextMergeTest, DecidesEachCombination)
{
    using store::TextMerge;
    const struct {
        const char* base;
        const char* ours;
        const char* theirs;
        TextMerge expected;
    } cases[] = {
        {"a", "a", "a", TextMerge::Unchanged},     {"", nullptr, "", TextMerge::Unchanged},
        {"a", "b", "a", TextMerge::OursChanged},   {nullptr, "b", "", TextMerge::OursChanged},
        {"a", "a", "c", TextMerge::TheirsChanged}, {"a", "a", "", TextMerge::TheirsChanged},
        {"a", "b", "b", TextMerge::BothSame},      {"a", "", nullptr, TextMerge::BothSame},
        {"a", "b", "c", TextMerge::Conflict},      {"", "b", "c", TextMerge::Conflict},
    };
    for (const auto& c : cases) {
        const auto text = [](const char* t) { return t ? QString::fromUtf8(t) : QString(); };
        EXPECT_EQ(store::mergeText(text(c.base), text(c.ours), text(c.theirs)), c.expected)
            << c.base << "/" << (c.ours ? c.ours : "null") << "/" << (c.theirs ? c.theirs : "null");
    }
}

// The project both planners work in.
const std::vector<TestActivity> kDuo = {
    {"A1", "one", {}, {{1, "a1"}, {2, "b1"}}},
    {"A2", "two", {}, {{1, "a2"}}},
    {"A3", "three", {}, {{3, "c3"}}},
};

using Lines = QList<QJsonObject>;

class TwoPlannerTest : public orvane::testing::SimFixture {
protected:
    void SetUp() override
    {
        SimFixture::SetUp();
        Session.reset();
        p3sim::control().settings.hasCurrentUser = true;
        p3sim::control().settings.currentUser = QStringLiteral("PLANNER");
        orvane::testing::writeProject(projects, "DUO", {}, kDuo);
        store = std::make_unique<store::ActivityStore>();
        store->openAtStartup([](const QString& message) { FAIL() << message.toStdString(); });
    }
    void TearDown() override
    {
        store.reset();
        Session.reset();
        SimFixture::TearDown();
    }

    OperationContext context()
    {
        return OperationContext{*store, credentials, nullptr, chooser, view, {group, name}, nullptr};
    }
    ImportResult import()
    {
        chooser = ScriptedChooser::project("DUO");
        OperationContext c = context();
        return importProject(c);
    }
    WriteBackResult save(const WriteBackOptions& options = {})
    {
        chooser = ScriptedChooser::project("DUO");
        OperationContext c = context();
        return writeBackLogs(c, SaveTarget::ChosenProject, options);
    }

    // The project file as the test starts it.
    void resetProject()
    {
        p3sim::control().clearCalls();
        p3sim::flushAll();
        orvane::testing::writeProject(projects, "DUO", {}, kDuo);
    }

    // A colleague changes the project in P3 (another program: the file).
    void colleague(const std::function<void(Lines&)>& change)
    {
        // The call log holds the objects of past calls, and with them this
        // process's copy of the project: let go of it so P3 reads the file.
        p3sim::control().clearCalls();
        p3sim::flushAll();
        const QString file = path(QStringLiteral("DUO.activities.jsonl"));
        Lines lines;
        for (const QByteArray& line : orvane::testing::fileBytes(file).split('\n'))
            if (!line.isEmpty())
                lines << QJsonDocument::fromJson(line).object();
        change(lines);
        QList<QByteArray> out;
        for (const QJsonObject& line : lines)
            out << QJsonDocument(line).toJson(QJsonDocument::Compact);
        orvane::testing::writeProjectLines(projects, "DUO", {}, out);
    }

    // What P3 holds of a field (0 description, n log n); "<gone>" without the activity.
    QString p3Text(const QString& id, int field)
    {
        p3sim::flushAll();
        for (const QByteArray& line : orvane::testing::fileBytes(path("DUO.activities.jsonl")).split('\n')) {
            const QJsonObject a = QJsonDocument::fromJson(line).object();
            if (a.value("ActivityID").toString() != id)
                continue;
            if (field == 0)
                return a.value("Description").toString();
            for (const QJsonValue log : a.value("logs").toArray())
                if (log.toArray().at(0).toInt() == field)
                    return log.toArray().at(1).toString();
            return QString();
        }
        return QStringLiteral("<gone>");
    }
    static QString localText(const QString& id, int field)
    {
        return orvane::testing::readValue(id, store::fieldName(store::columnOfTextField(field))).toString();
    }
    QString baseText(const QString& id, int field)
    {
        store::ActivityTexts texts;
        return store->base.lookup(id, texts) ? texts.fields[size_t(field)] : QStringLiteral("<none>");
    }

    std::unique_ptr<orvane::testing::TempWorkDir> workDir = std::make_unique<orvane::testing::TempWorkDir>();
    std::unique_ptr<store::ActivityStore> store;
    P3Credentials credentials;
    RecordingView view;
    ScriptedChooser chooser;
    QString group, name;
};

void setP3Log(Lines& lines, const QString& id, int number, const QString& text)
{
    for (QJsonObject& a : lines) {
        if (a.value("ActivityID").toString() != id)
            continue;
        QJsonArray logs;
        for (const QJsonValue log : a.value("logs").toArray())
            if (log.toArray().at(0).toInt() != number)
                logs.append(log);
        if (!text.isEmpty())
            logs.append(QJsonArray{number, text});
        a["logs"] = logs;
    }
}

void setP3Description(Lines& lines, const QString& id, const QString& text)
{
    for (QJsonObject& a : lines)
        if (a.value("ActivityID").toString() == id)
            a["Description"] = text;
}

void setLocal(const QString& id, int field, const char* text)
{
    const QString column = store::fieldName(store::columnOfTextField(field));
    orvane::testing::execRaw(text ? QStringLiteral("UPDATE P3Data SET [%1] = '%2' WHERE ActivityID = '%3'")
                                        .arg(column, QString::fromUtf8(text), id)
                                  : QStringLiteral("UPDATE P3Data SET [%1] = NULL WHERE ActivityID = '%2'")
                                        .arg(column, id));
}

// Each row: what the user changes in the table, what a colleague changes in
// P3, and for one text what P3, the table and the base hold after the save,
// with the number of texts written, taken and left in conflict.
TEST_F(TwoPlannerTest, SaveMergesTextByText)
{
    struct Expect {
        const char* id;
        int field;
        const char* p3;
        const char* local;
        const char* base;
    };
    const struct Case {
        const char* name;
        std::function<void()> here;
        std::function<void(Lines&)> there;
        std::vector<Expect> after;
        int written, taken, conflicts;
    } cases[] = {
        {"changed in P3 only", [] {}, [](Lines& l) { setP3Log(l, "A1", 1, "theirs"); },
         {{"A1", 1, "theirs", "theirs", "theirs"}}, 0, 1, 0},
        {"changed here only", [] { setLocal("A1", 2, "mine"); }, [](Lines&) {},
         {{"A1", 2, "mine", "mine", "mine"}}, 1, 0, 0},
        {"changed alike on both sides", [] { setLocal("A1", 1, "same"); },
         [](Lines& l) { setP3Log(l, "A1", 1, "same"); }, {{"A1", 1, "same", "same", "same"}}, 0, 0, 0},
        {"changed differently on both sides", [] { setLocal("A1", 1, "mine"); },
         [](Lines& l) { setP3Log(l, "A1", 1, "theirs"); }, {{"A1", 1, "theirs", "mine", "a1"}}, 0, 0, 1},
        {"different logs of one activity", [] { setLocal("A1", 1, "mine"); },
         [](Lines& l) { setP3Log(l, "A1", 2, "theirs"); },
         {{"A1", 1, "mine", "mine", "mine"}, {"A1", 2, "theirs", "theirs", "theirs"}}, 1, 1, 0},
        {"descriptions", [] { setLocal("A3", 0, "three here"); },
         [](Lines& l) { setP3Description(l, "A2", "two in P3"); },
         {{"A2", 0, "two in P3", "two in P3", "two in P3"}, {"A3", 0, "three here", "three here", "three here"}},
         1, 1, 0},
        {"a log added in P3, one removed here", [] { setLocal("A3", 3, nullptr); },
         [](Lines& l) { setP3Log(l, "A2", 5, "new in P3"); },
         {{"A2", 5, "new in P3", "new in P3", "new in P3"}, {"A3", 3, "", "", ""}}, 1, 1, 0},
        {"a log removed in P3, one added here", [] { setLocal("A2", 7, "added here"); },
         [](Lines& l) { setP3Log(l, "A1", 2, ""); },
         {{"A1", 2, "", "", ""}, {"A2", 7, "added here", "added here", "added here"}}, 1, 1, 0},
        {"an activity deleted in P3", [] { setLocal("A3", 3, "mine"); },
         [](Lines& l) { l.removeIf([](const QJsonObject& a) { return a.value("ActivityID") == "A3"; }); },
         {{"A3", 3, "<gone>", "mine", "c3"}, {"A1", 1, "a1", "a1", "a1"}}, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        resetProject();
        ASSERT_NO_THROW(import());
        c.here();
        colleague(c.there);
        store->taActivities.requery();
        p3sim::control().clearCalls();
        view = RecordingView();
        const WriteBackResult result = save();
        EXPECT_TRUE(result.hasBase);
        EXPECT_EQ(int(result.writtenTexts.size()), c.written);
        EXPECT_EQ(int(result.takenTexts.size()), c.taken);
        ASSERT_EQ(int(result.conflicts.size()), c.conflicts);
        if (c.conflicts == 1)
            EXPECT_EQ(conflictLine(result.conflicts[0]),
                      "A1 Log#1 was changed in P3 since the import; your text was not written.");
        // Only what was written here reaches P3: nothing else is updated.
        EXPECT_EQ(p3sim::control().callCount(QStringLiteral("Activities.Update")), c.written);
        for (const Expect& e : c.after) {
            SCOPED_TRACE(std::string(e.id) + " field " + std::to_string(e.field));
            EXPECT_EQ(p3Text(e.id, e.field), QString::fromUtf8(e.p3));
            EXPECT_EQ(localText(e.id, e.field), QString::fromUtf8(e.local));
            EXPECT_EQ(baseText(e.id, e.field), QString::fromUtf8(e.base));
        }
        // The table the grid shows holds what the file holds.
        for (const Expect& e : c.after) {
            const int row = store->taActivities.rowOfId(
                orvane::testing::readValue(e.id, QStringLiteral("rowid")).toLongLong());
            if (row >= 0)
                EXPECT_EQ(store->taActivities.value(row, store::columnOfTextField(e.field)).toString(),
                          QString::fromUtf8(e.local));
        }
        // A second save finds nothing new to write, and the conflict again.
        p3sim::control().clearCalls();
        const WriteBackResult again = save();
        EXPECT_TRUE(again.writtenTexts.empty());
        EXPECT_TRUE(again.takenTexts.empty());
        EXPECT_EQ(int(again.conflicts.size()), c.conflicts);
        EXPECT_EQ(p3sim::control().callCount(QStringLiteral("Activities.Update")), 0);
    }
}

TEST_F(TwoPlannerTest, ConflictsCanBeOverwrittenOnRequest)
{
    import();
    setLocal("A1", 1, "mine");
    setLocal("A2", 1, "mine too");
    colleague([](Lines& l) {
        setP3Log(l, "A1", 1, "theirs");
        setP3Log(l, "A2", 1, "theirs too");
    });
    WriteBackOptions options;
    options.overwrite = [](const QString& id, int field) { return id == "A1" && field == 1; };
    const WriteBackResult result = save(options);
    ASSERT_EQ(result.conflicts.size(), 1u);
    EXPECT_EQ(result.conflicts[0].activityId, "A2");
    EXPECT_EQ(p3Text("A1", 1), "mine");
    EXPECT_EQ(baseText("A1", 1), "mine");
    EXPECT_EQ(p3Text("A2", 1), "theirs too");
    EXPECT_EQ(localText("A2", 1), "mine too");
}

TEST_F(TwoPlannerTest, DryRunChangesNothing)
{
    import();
    setLocal("A1", 2, "mine");
    colleague([](Lines& l) { setP3Log(l, "A2", 1, "theirs"); });
    p3sim::flushAll();
    const QByteArray p3Before = orvane::testing::fileBytes(path("DUO.activities.jsonl"));
    const QStringList tableBefore = orvane::testing::dumpTable();
    WriteBackOptions options;
    options.dryRun = true;
    const WriteBackResult result = save(options);
    ASSERT_EQ(result.writtenTexts.size(), 1u);
    EXPECT_EQ(result.writtenTexts[0].local, "mine");
    ASSERT_EQ(result.takenTexts.size(), 1u);
    EXPECT_EQ(result.takenTexts[0].p3, "theirs");
    p3sim::flushAll();
    EXPECT_EQ(orvane::testing::fileBytes(path("DUO.activities.jsonl")), p3Before);
    EXPECT_EQ(orvane::testing::dumpTable(), tableBefore);
    EXPECT_EQ(baseText("A2", 1), "a2");
}

// A table imported before the base was kept: saved as before, after the notice.
TEST_F(TwoPlannerTest, WithoutBaseEveryDifferenceIsWritten)
{
    import();
    orvane::testing::execRaw("DROP TABLE ImportBase");
    setLocal("A1", 2, "mine");
    colleague([](Lines& l) { setP3Log(l, "A2", 1, "theirs"); });
    const WriteBackResult result = save();
    EXPECT_FALSE(result.hasBase);
    EXPECT_EQ(view.informations, QStringList{noBaseNotice()});
    EXPECT_EQ(p3Text("A1", 2), "mine");
    EXPECT_EQ(p3Text("A2", 1), "a2") << "the plain write-back puts the table's text back";
}

// Saved into another project than the imported one: no base applies.
TEST_F(TwoPlannerTest, AnotherProjectHasNoBase)
{
    import();
    orvane::testing::writeProject(projects, "COPY", {}, kDuo);
    setLocal("A1", 2, "mine");
    chooser = ScriptedChooser::project("COPY");
    OperationContext c = context();
    const WriteBackResult result = writeBackLogs(c, SaveTarget::ChosenProject);
    EXPECT_FALSE(result.hasBase);
    EXPECT_TRUE(view.informations.isEmpty());
    EXPECT_EQ(result.rewritten, 1);
}

// A fault at each kind of P3 call of a three-way save: each activity is
// wholly old or wholly merged, and the save after it neither writes again
// what went through nor overwrites the colleague.
TEST_F(TwoPlannerTest, FaultsLeaveNothingTheNextSaveGetsWrong)
{
    const char* members[] = {"ActivityLogs.Remove", "NewItem", "Text=", "ActivityLogs.Add", "Activities.Update"};
    for (const char* member : members) {
        for (int call : {1, 2}) {
            SCOPED_TRACE(std::string(member) + " #" + std::to_string(call));
            resetProject();
            ASSERT_NO_THROW(import());
            setLocal("A1", 2, "mine 1");
            setLocal("A2", 1, "mine 2");
            setLocal("A3", 3, "mine 3");
            colleague([](Lines& l) {
                setP3Log(l, "A1", 1, "theirs 1");
                setP3Log(l, "A3", 3, "theirs 3");
            });
            store->taActivities.requery();
            p3sim::control().failOn(QString::fromLatin1(member), call, QStringLiteral("P3 refused"));
            EXPECT_THROW(save(), OrvaneError);
            p3sim::control().clearFaults();
            Session.reset();
            const bool a1Written = p3Text("A1", 2) == "mine 1";
            EXPECT_TRUE(a1Written || p3Text("A1", 2) == "b1");
            EXPECT_EQ(p3Text("A1", 1), "theirs 1");
            EXPECT_EQ(p3Text("A3", 3), "theirs 3");
            // The base never claims more than P3 holds.
            if (!a1Written)
                EXPECT_EQ(baseText("A1", 2), "b1");

            p3sim::control().clearCalls();
            const WriteBackResult next = save();
            EXPECT_EQ(p3Text("A1", 2), "mine 1");
            EXPECT_EQ(p3Text("A2", 1), "mine 2");
            EXPECT_EQ(p3Text("A1", 1), "theirs 1");
            EXPECT_EQ(p3Text("A3", 3), "theirs 3") << "the colleague's text stays";
            ASSERT_EQ(next.conflicts.size(), 1u);
            EXPECT_EQ(next.conflicts[0].activityId, "A3");
            for (const SavedText& text : next.writtenTexts)
                EXPECT_FALSE(a1Written && text.activityId == "A1") << "written twice";
        }
    }
}

TEST_F(TwoPlannerTest, ImportAsksBeforeDroppingUnsavedChanges)
{
    import();
    EXPECT_TRUE(view.questions.isEmpty()) << "nothing to drop at the first import";
    setLocal("A1", 1, "mine");
    setLocal("A2", 1, "mine");
    const QStringList before = orvane::testing::dumpTable();
    view.dropChanges = false;
    const ImportResult kept = import();
    EXPECT_TRUE(kept.declined);
    EXPECT_EQ(view.questions,
              QStringList{"2 activities have changes that were not saved to P3. Import anyway and drop them?"});
    EXPECT_EQ(orvane::testing::dumpTable(), before);
    EXPECT_EQ(p3sim::control().callCount(QStringLiteral("OpenProject")), 1) << "P3 is not asked";

    view.dropChanges = true;
    const ImportResult dropped = import();
    EXPECT_FALSE(dropped.declined);
    EXPECT_EQ(localText("A1", 1), "a1");
    EXPECT_EQ(store->base.changedActivityCount(), 0);
}

// The marks follow every way the table changes: a posted cell, a statement
// over a column, and the save that takes P3's text.
TEST_F(TwoPlannerTest, MarksFollowTheTable)
{
    store->changes.setEnabled(true);
    import();
    store::ActivityTable& table = store->taActivities;
    const qint64 a1 = orvane::testing::readValue("A1", "rowid").toLongLong();
    const qint64 a2 = orvane::testing::readValue("A2", "rowid").toLongLong();
    EXPECT_EQ(store->changes.changedRowCount(), 0);

    table.setCurrentRow(table.rowOfId(a1));
    table.setFieldValue(store::logColumn(2), QStringLiteral("typed"));
    table.post();
    EXPECT_TRUE(store->changes.isChanged(a1, store::logColumn(2)));
    EXPECT_FALSE(store->changes.isChanged(a1, store::logColumn(1)));
    EXPECT_EQ(store->changes.changedRowCount(), 1);

    orvane::testing::execRaw("UPDATE P3Data SET [Log#9] = 'bulk'");
    table.requeryColumns({store::logColumn(9)});
    EXPECT_TRUE(store->changes.isChanged(a2, store::logColumn(9)));
    EXPECT_EQ(store->changes.changedRowCount(), 3);

    // Typed back to what was imported: no longer a change.
    table.setCurrentRow(table.rowOfId(a1));
    table.setFieldValue(store::logColumn(2), QStringLiteral("b1"));
    table.post();
    EXPECT_FALSE(store->changes.isChanged(a1, store::logColumn(2)));

    save();
    EXPECT_EQ(store->changes.changedRowCount(), 0) << "saved texts are no longer unsaved";
}

// The marks compare the table with digests of the base held in memory; they
// must mark exactly the texts the base's own comparison in the file finds,
// a null and an empty text being the same, through the cached column after
// a statement and through a posted row read from the file.
TEST_F(TwoPlannerTest, MarksAgreeWithTheBasesOwnComparison)
{
    store->changes.setEnabled(true);
    import();
    store::ActivityTable& table = store->taActivities;
    const auto marked = [&] {
        QStringList found;
        for (int row = 0; row < table.rowCount(); ++row)
            for (int field = 0; field < store::kTextFieldCount; ++field)
                if (store->changes.isChanged(table.rowIdAt(row), store::columnOfTextField(field)))
                    found << QStringLiteral("%1/%2").arg(table.cell(row, store::kActivityIdColumn).text.toByteArray())
                                 .arg(field);
        found.sort();
        return found;
    };
    const auto inBase = [&] {
        QStringList found;
        for (const store::ChangedText& text : store->base.changedTexts())
            found << QStringLiteral("%1/%2").arg(text.activityId).arg(text.field);
        found.sort();
        return found;
    };
    orvane::testing::execRaw("UPDATE P3Data SET [Log#2] = NULL WHERE ActivityID = 'A1'");
    orvane::testing::execRaw("UPDATE P3Data SET [Log#5] = ''");
    orvane::testing::execRaw("UPDATE P3Data SET [Log#1] = 'a2' WHERE ActivityID = 'A2'");
    orvane::testing::execRaw("UPDATE P3Data SET Description = 'tr\xc3\xaas \xc3\xbc', [Log#3] = '', "
                             "[Log#99] = 'last' WHERE ActivityID = 'A3'");
    table.requeryColumns({store::kDescriptionColumn, store::logColumn(1), store::logColumn(2), store::logColumn(3),
                          store::logColumn(5), store::logColumn(99)});
    const QStringList expected{"A1/2", "A3/0", "A3/3", "A3/99"};
    EXPECT_EQ(inBase(), expected);
    EXPECT_EQ(marked(), expected);

    // Texts that already differed change again: back to the base, and to
    // another text still not the base.
    orvane::testing::execRaw("UPDATE P3Data SET Description = 'three', [Log#99] = 'later' WHERE ActivityID = 'A3'");
    table.requeryColumns({store::kDescriptionColumn, store::logColumn(99)});
    EXPECT_EQ(inBase(), (QStringList{"A1/2", "A3/3", "A3/99"}));
    EXPECT_EQ(marked(), inBase());

    // A posted row is compared from the file, every text of it.
    orvane::testing::execRaw("UPDATE P3Data SET [Log#2] = 'b1', [Log#7] = 'new' WHERE ActivityID = 'A1'");
    table.setCurrentRow(table.rowOfId(orvane::testing::readValue("A1", "rowid").toLongLong()));
    table.setFieldValue(store::logColumn(1), QStringLiteral("typed"));
    table.post();
    EXPECT_EQ(inBase(), (QStringList{"A1/1", "A1/7", "A3/3", "A3/99"}));
    EXPECT_EQ(marked(), inBase());
}

} // namespace

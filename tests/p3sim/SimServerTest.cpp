// The simulated P3 server, seen through the automation interface as Orvane
// sees it: project listing, opening, filters, codes, activities and logs,
// persistence, sign-in and fault injection.

#include "SimTestSupport.h"

#include "p3link/P3Members.h"
#include "p3sim/ProjectStore.h"
#include "support/ErrorOf.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <map>

using namespace orvane;
using namespace orvane::p3link;
namespace m = orvane::p3link::member;
using orvane::testing::SimFixture;

namespace {

struct Row {
    QString group, name, title;
    bool operator==(const Row&) const = default;
};

std::vector<Row> abstracts(const P3Object& session)
{
    std::vector<Row> rows;
    forEachElement(session.object(m::ProjectAbstracts), [&](const P3Object& a) {
        rows.push_back({a.text(m::ProjectGroupName), a.text(m::ProjectName), a.text(m::Title)});
    });
    return rows;
}

QStringList activityIds(const P3Object& project)
{
    QStringList ids;
    forEachElement(project.object(m::Activities), [&](const P3Object& a) { ids << a.text(m::ActivityID); });
    return ids;
}

// The logs of an activity as "n:text" in walk order.
QStringList logsOf(const P3Object& activity)
{
    QStringList logs;
    forEachElement(activity.object(m::ActivityLogs), [&](const P3Object& log) {
        logs << QString::number(log.integer(m::SequenceNumber)) + QLatin1Char(':') + log.text(m::Text);
    });
    return logs;
}

P3Object findActivity(const P3Object& project, const QString& id)
{
    P3Object found;
    forEachElement(project.object(m::Activities), [&](const P3Object& a) {
        if (found.isNull() && a.text(m::ActivityID) == id)
            found = a;
    });
    return found;
}

using orvane::testing::errorOf;

void writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

} // namespace

// ------------------------------------------------------------ projects

TEST_F(SimFixture, ListsGroupsAndSubprojectsOfTheFolder)
{
    const P3Object session = signedInSession();
    EXPECT_EQ(session.text(m::CurrentProjectPath), projects);
    const std::vector<Row> expected = {
        {"CAMP", "CAMP", "North Campus"},
        {"CAMP", "LIBR", "North Campus - Library"},
        {"CAMP", "SPRT", "North Campus - Sports hall"},
        {"CLIN", "CLIN", "Riverside Clinic"},
        {"DEPO", "DEPO", "Bus Depot Canopy"},
        {"TWNT", "TWNT", "Twin Towers Fit-out"},
    };
    EXPECT_EQ(abstracts(session), expected);
}

TEST_F(SimFixture, RecognisesProjectFilesCaseInsensitivelyAndIgnoresDirectories)
{
    const QString other = tempDir.filePath(QStringLiteral("other"));
    QDir().mkpath(other + QStringLiteral("/FAKEdir.p3"));   // a directory, not a project
    writeFile(other + QStringLiteral("/loftDIR.P3"),
              R"({"format":"p3sim-project","title":"Loft","activities":"loft.jsonl"})");
    writeFile(other + QStringLiteral("/loft.jsonl"), R"({"ActivityID":"X1"})" "\n");
    const P3Object session = signedInSession();
    session.put(m::CurrentProjectPath, other);
    EXPECT_EQ(abstracts(session), (std::vector<Row>{{"loft", "loft", "Loft"}}));
    const P3Object project = P3Object::fromVariant(session.call(m::OpenProject, "LOFT"));
    ASSERT_FALSE(project.isNull());
    EXPECT_EQ(activityIds(project), QStringList{"X1"});
}

TEST_F(SimFixture, OpensAGroupWholeOrOneSubproject)
{
    const P3Object session = signedInSession();
    const P3Object group = P3Object::fromVariant(session.call(m::OpenProject, "CAMP"));
    const P3Object library = P3Object::fromVariant(session.call(m::OpenProject, "CAMP", "LIBR"));
    const P3Object sports = P3Object::fromVariant(session.call(m::OpenProject, "camp", "sprt"));
    const QStringList lib = activityIds(library), spo = activityIds(sports);
    EXPECT_EQ(lib.size(), 6);
    EXPECT_EQ(spo.size(), 6);
    EXPECT_TRUE(lib.first().startsWith('L'));
    EXPECT_TRUE(spo.first().startsWith('S'));
    EXPECT_EQ(activityIds(group), lib + spo);
    EXPECT_EQ(group.object(m::Activities).integer(m::Count), 12);

    EXPECT_EQ(errorOf([&] { session.call(m::OpenProject, "NOPE"); }),
              QStringLiteral("Project NOPE not found in \"%1\".").arg(projects));
    EXPECT_EQ(errorOf([&] { session.call(m::OpenProject, "CAMP", "GYM"); }),
              QStringLiteral("Subproject GYM not found in project group CAMP."));
}

TEST_F(SimFixture, ClosedProjectRefusesFurtherCalls)
{
    const P3Object session = signedInSession();
    const P3Object project = P3Object::fromVariant(session.call(m::OpenProject, "DEPO"));
    session.call(m::CloseProject, project);
    EXPECT_EQ(errorOf([&] { project.object(m::Activities); }), QStringLiteral("The project DEPO is closed."));
}

// ------------------------------------------------------------ filters and codes

TEST_F(SimFixture, FiltersRestrictLaterActivityWalks)
{
    const P3Object session = signedInSession();
    const P3Object project = P3Object::fromVariant(session.call(m::OpenProject, "CLIN"));
    QStringList filters;
    forEachElement(project.object(m::Filters), [&](const P3Object& f) {
        filters << f.text(m::ID) + QStringLiteral(" - ") + f.text(m::Title);
    });
    EXPECT_EQ(filters, (QStringList{"CR - Critical activities", "EL - Electrical trade",
                                    "L2 - Level 2 works", "IP - In progress"}));

    const int all = project.object(m::Activities).integer(m::Count);
    EXPECT_EQ(all, 305);
    project.call(m::ApplyFilter, "EL", 1);
    const P3Object activities = project.object(m::Activities);
    int walked = 0;
    forEachElement(activities, [&](const P3Object& a) {
        ++walked;
        P3Cursor codes(a.object(m::ActivityCodes));
        P3Object code = codes.first();
        for (int k = 0; k < 3; ++k)
            code = codes.next();   // TRAD is the fourth code
        EXPECT_EQ(code.text(m::Value), QStringLiteral("ELEC")) << a.text(m::ActivityID).toStdString();
    });
    EXPECT_GT(walked, 0);
    EXPECT_LT(walked, all);
    EXPECT_EQ(activities.integer(m::Count), walked);

    // Numeric criteria and two criteria together.
    project.call(m::ApplyFilter, "IP", 1);
    forEachElement(project.object(m::Activities), [&](const P3Object& a) {
        const double pc = a.get(activityDataMembers()[6]).toDouble();   // PercentComplete
        EXPECT_GT(pc, 0);
        EXPECT_LT(pc, 100);
    });
    EXPECT_EQ(errorOf([&] { project.call(m::ApplyFilter, "ZZ", 1); }), QStringLiteral("Filter ZZ does not exist."));
    project.call(m::ApplyFilter, "", 0);
    EXPECT_EQ(project.object(m::Activities).integer(m::Count), all);
}

TEST_F(SimFixture, OneCharacterFilterIdIsNamedWithATrailingBlank)
{
    const P3Object session = signedInSession();
    const QString header = path(QStringLiteral("DEPOdir.p3"));
    QFile f(header);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QJsonObject root = QJsonDocument::fromJson(f.readAll()).object();
    f.close();
    root.insert(QStringLiteral("filters"), QJsonArray{QJsonObject{
        {"id", "X"}, {"title", "Roof"},
        {"criteria", QJsonArray{QJsonObject{{"field", "Description"}, {"op", "contains"}, {"value", "roof"}}}}}});
    writeFile(header, QJsonDocument(root).toJson());
    const P3Object project = P3Object::fromVariant(session.call(m::OpenProject, "DEPO"));
    project.call(m::ApplyFilter, "X ", 1);
    EXPECT_EQ(activityIds(project).size(), 1);   // "Roof sheeting"
}

TEST_F(SimFixture, ActivityCodesComeInProjectOrderWithOneValueEach)
{
    const P3Object session = signedInSession();
    auto names = [&](const char* group) {
        QStringList n;
        const P3Object p = P3Object::fromVariant(session.call(m::OpenProject, group));
        forEachElement(p.object(m::ActivityCodes), [&](const P3Object& c) { n << c.text(m::Name); });
        return n;
    };
    EXPECT_EQ(names("CLIN"), (QStringList{"AREA", "RESP", "PHAS", "TRAD", "FLOR", "CRIT"}));
    EXPECT_TRUE(names("DEPO").isEmpty());
    const QStringList twenty = names("TWNT");
    ASSERT_EQ(twenty.size(), 20);
    EXPECT_EQ(twenty.first(), QStringLiteral("C01"));
    EXPECT_EQ(twenty.last(), QStringLiteral("C20"));

    const P3Object twnt = P3Object::fromVariant(session.call(m::OpenProject, "TWNT"));
    const P3Object first = P3Cursor(twnt.object(m::Activities)).first();
    QStringList values;
    forEachElement(first.object(m::ActivityCodes), [&](const P3Object& v) { values << v.text(m::Value); });
    ASSERT_EQ(values.size(), 20);
    EXPECT_EQ(values.at(0), QStringLiteral("C01-1"));
    EXPECT_EQ(values.at(19), QStringLiteral("C20-1"));
}

TEST_F(SimFixture, MoreThanTwentyCodesAreReported)
{
    QJsonArray codes;
    QJsonObject values;
    for (int k = 1; k <= 25; ++k) {
        codes.append(QJsonObject{{"name", QStringLiteral("K%1").arg(k)}});
        values.insert(QStringLiteral("K%1").arg(k), QStringLiteral("v%1").arg(k));
    }
    const QString folder = tempDir.filePath(QStringLiteral("many"));
    QDir().mkpath(folder);
    writeFile(folder + QStringLiteral("/MANYdir.p3"),
              QJsonDocument(QJsonObject{{"format", "p3sim-project"}, {"activityCodes", codes},
                                        {"activities", "many.jsonl"}}).toJson());
    writeFile(folder + QStringLiteral("/many.jsonl"),
              QJsonDocument(QJsonObject{{"ActivityID", "M1"}, {"codes", values}}).toJson(QJsonDocument::Compact) + '\n');
    const P3Object session = signedInSession();
    session.put(m::CurrentProjectPath, folder);
    const P3Object project = P3Object::fromVariant(session.call(m::OpenProject, "MANY"));
    EXPECT_EQ(project.object(m::ActivityCodes).integer(m::Count), 25);
    const P3Object activity = P3Cursor(project.object(m::Activities)).first();
    QStringList v;
    forEachElement(activity.object(m::ActivityCodes), [&](const P3Object& c) { v << c.text(m::Value); });
    ASSERT_EQ(v.size(), 25);
    EXPECT_EQ(v.last(), QStringLiteral("v25"));
}

// ------------------------------------------------------------ activities

TEST_F(SimFixture, ActivityMembersAreTypedAsP3DeliversThem)
{
    const P3Object session = signedInSession();
    const P3Object project = P3Object::fromVariant(session.call(m::OpenProject, "CLIN"));
    const P3Object a = P3Cursor(project.object(m::Activities)).first();
    const auto& members = activityDataMembers();
    auto typeOf = [&](int i) { return a.get(members[size_t(i)]).metaType(); };
    EXPECT_EQ(a.get(members[0]).toString(), QStringLiteral("A1000"));
    EXPECT_EQ(typeOf(0), QMetaType::fromType<QString>());
    for (int i : {2, 3, 4, 5, 6, 13})
        EXPECT_EQ(typeOf(i), QMetaType::fromType<double>()) << i;
    for (int i : {7, 8, 9, 10, 11, 12})
        EXPECT_EQ(typeOf(i), QMetaType::fromType<QDateTime>()) << i;
    EXPECT_EQ(a.get(members[7]).toDateTime(), QDateTime(QDate(2025, 3, 4), QTime(8, 0)));
    EXPECT_EQ(a.get(members[9]).toDateTime(), QDateTime(QDate(2025, 3, 17), QTime(17, 0)));
    EXPECT_FALSE(a.get(members[14]).isValid());   // no suspend date: empty
    EXPECT_EQ(a.get(members[16]).toString(), QStringLiteral("Task"));
    EXPECT_EQ(a.get(members[26]).toString(), QStringLiteral("1.1.1"));
    EXPECT_EQ(logsOf(a).first(), QStringLiteral("2:Subcontractor requests 2 extra days"));
}

TEST_F(SimFixture, ServesEveryMemberOrvaneReads)
{
    const P3Object session = signedInSession();
    std::map<QString, P3Object> samples;
    samples["Session"] = session;
    samples["ProjectAbstract"] = P3Cursor(session.object(m::ProjectAbstracts)).first();
    const P3Object project = P3Object::fromVariant(session.call(m::OpenProject, "CLIN"));
    samples["Project"] = project;
    samples["Filter"] = P3Cursor(project.object(m::Filters)).first();
    samples["ActivityCode"] = P3Cursor(project.object(m::ActivityCodes)).first();
    const P3Object activity = P3Cursor(project.object(m::Activities)).first();
    samples["Activity"] = activity;
    samples["ActivityCodeValue"] = P3Cursor(activity.object(m::ActivityCodes)).first();
    samples["Log"] = P3Cursor(activity.object(m::ActivityLogs)).first();
    samples["Collection"] = project.object(m::Filters);
    for (const MemberUse& use : membersUsed()) {
        if (use.access != MemberAccess::Get)
            continue;
        const auto it = samples.find(QString::fromLatin1(use.objectKind));
        ASSERT_NE(it, samples.end()) << use.objectKind;
        ASSERT_FALSE(it->second.isNull()) << use.objectKind;
        EXPECT_NO_THROW(it->second.get(Member{use.member})) << use.objectKind << "." << use.member.toStdString();
    }
    EXPECT_EQ(errorOf([&] { activity.get(Member{"Colour"}); }), QStringLiteral("Unknown name."));
    EXPECT_EQ(errorOf([&] { session.call(m::Login, "A"); }), QStringLiteral("Invalid number of parameters."));
}

TEST_F(SimFixture, RemovingEachLogDuringTheWalkRemovesThemAll)
{
    const P3Object session = signedInSession();
    const P3Object project = P3Object::fromVariant(session.call(m::OpenProject, "CLIN"));
    const P3Object activities = project.object(m::Activities);
    const P3Object activity = findActivity(project, QStringLiteral("A1030"));
    ASSERT_FALSE(activity.isNull());
    const QStringList before = logsOf(activity);
    EXPECT_EQ(before, (QStringList{"1:Permit fee paid", "2:Fire department review", "99:Closed out"}));

    const P3Object logs = activity.object(m::ActivityLogs);
    const int removed = forEachElement(logs, [&](const P3Object& log) { logs.call(m::Remove, log); });
    EXPECT_EQ(removed, 3);
    EXPECT_EQ(logs.integer(m::Count), 0);

    for (const auto& [n, text] : std::vector<std::pair<int, QString>>{{2, "second"}, {5, "  "}, {99, "last"}}) {
        const P3Object log = logs.object(m::NewItem);
        log.put(m::Text, text);
        log.put(m::SequenceNumber, n);
        logs.call(m::Add, log);
    }
    activity.put(m::Description, QStringLiteral("Permit drawings, revised"));
    activities.call(m::Update, activity);
    session.call(m::Logout);

    // A new session sees the committed activity.
    const P3Object again = signedInSession();
    const P3Object reopened = P3Object::fromVariant(again.call(m::OpenProject, "CLIN"));
    const P3Object stored = findActivity(reopened, QStringLiteral("A1030"));
    EXPECT_EQ(logsOf(stored), (QStringList{"2:second", "5:  ", "99:last"}));
    EXPECT_EQ(stored.text(m::Description), QStringLiteral("Permit drawings, revised"));
}

TEST_F(SimFixture, LogTextsAreStoredExactly)
{
    const QStringList texts = {QStringLiteral("He said \"go\""), QStringLiteral("C:\\path\\"),
                               QStringLiteral("line1\nline2\r\n"), QStringLiteral("tab\there"),
                               QString(QChar(1)) + QStringLiteral("ctl") + QChar(0x1f),
                               QStringLiteral("Grüße ✓ \U0001F600"), QStringLiteral("   "), QString()};
    QStringList expected;
    {
        const P3Object session = signedInSession();
        const P3Object project = P3Object::fromVariant(session.call(m::OpenProject, "DEPO"));
        const P3Object activity = P3Cursor(project.object(m::Activities)).first();
        const P3Object logs = activity.object(m::ActivityLogs);
        forEachElement(logs, [&](const P3Object& log) { logs.call(m::Remove, log); });
        for (int i = 0; i < texts.size(); ++i) {
            const P3Object log = logs.object(m::NewItem);
            log.put(m::Text, texts[i]);
            log.put(m::SequenceNumber, i + 1);
            logs.call(m::Add, log);
            expected << QString::number(i + 1) + QLatin1Char(':') + texts[i];
        }
        activity.put(m::Description, QStringLiteral("\"quoted\" \\ description"));
        project.object(m::Activities).call(m::Update, activity);
        // Read back from the journal, as after a crash.
        ASSERT_TRUE(orvane::testing::copyFolder(projects, tempDir.filePath(QStringLiteral("journal"))));
    }
    for (const QString& folder : {tempDir.filePath(QStringLiteral("journal")), projects}) {
        SCOPED_TRACE(folder.toStdString());
        const P3Object session = signedInSession();
        session.put(m::CurrentProjectPath, folder);
        const P3Object project = P3Object::fromVariant(session.call(m::OpenProject, "DEPO"));
        const P3Object activity = P3Cursor(project.object(m::Activities)).first();
        EXPECT_EQ(logsOf(activity), expected);
        EXPECT_EQ(activity.text(m::Description), QStringLiteral("\"quoted\" \\ description"));
        EXPECT_EQ(activity.text(m::ActivityID), QStringLiteral("D010"));
        EXPECT_EQ(activity.get(activityDataMembers()[2]).toDouble(), 1.0);   // untouched members kept
    }
}

TEST_F(SimFixture, ChangesWithoutUpdateAreNotStored)
{
    {
        const P3Object session = signedInSession();
        const P3Object project = P3Object::fromVariant(session.call(m::OpenProject, "DEPO"));
        const P3Object a = P3Cursor(project.object(m::Activities)).first();
        a.put(m::Description, QStringLiteral("changed"));
        session.call(m::CloseProject, project);
    }
    const P3Object session = signedInSession();
    const P3Object project = P3Object::fromVariant(session.call(m::OpenProject, "DEPO"));
    EXPECT_EQ(P3Cursor(project.object(m::Activities)).first().text(m::Description), QStringLiteral("Set out canopy"));
}

TEST_F(SimFixture, LogMisuseIsRefused)
{
    const P3Object session = signedInSession();
    const P3Object project = P3Object::fromVariant(session.call(m::OpenProject, "DEPO"));
    const P3Object logs = P3Cursor(project.object(m::Activities)).first().object(m::ActivityLogs);
    const P3Object log = logs.object(m::NewItem);
    EXPECT_EQ(errorOf([&] { logs.call(m::Add, log); }), QStringLiteral("The log has no sequence number."));
    EXPECT_EQ(errorOf([&] { log.put(m::SequenceNumber, 100); }), QStringLiteral("Log sequence number 100 is out of range 1 to 99."));
    EXPECT_EQ(errorOf([&] { logs.call(m::Remove, log); }), QStringLiteral("The log is not a log of this activity."));
    EXPECT_EQ(errorOf([&] { logs.call(m::Add, "text"); }), QStringLiteral("Type mismatch."));
}

// ------------------------------------------------------------ persistence

TEST_F(SimFixture, UpdateGoesToTheJournalAndCloseCompactsIt)
{
    const QString data = path(QStringLiteral("DEPO.activities.jsonl"));
    const QString journal = p3sim::journalPath(data);
    QFile original(data);
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    const QByteArray before = original.readAll();
    original.close();

    const P3Object session = signedInSession();
    const P3Object project = P3Object::fromVariant(session.call(m::OpenProject, "DEPO"));
    const P3Object a = P3Cursor(project.object(m::Activities)).first();
    a.put(m::Description, QStringLiteral("Set out canopy (checked)"));
    project.object(m::Activities).call(m::Update, a);

    // Committed but not yet compacted: the project file is untouched and
    // the journal holds the change.
    QFile now(data);
    ASSERT_TRUE(now.open(QIODevice::ReadOnly));
    EXPECT_EQ(now.readAll(), before);
    now.close();
    ASSERT_TRUE(QFile::exists(journal));

    // A process that dies here loses nothing: a copy of the folder taken
    // now (as a crash leaves it) reads back the change.
    const QString crashed = tempDir.filePath(QStringLiteral("crashed"));
    ASSERT_TRUE(orvane::testing::copyFolder(projects, crashed));
    {
        const P3Object other = signedInSession();
        other.put(m::CurrentProjectPath, crashed);
        const P3Object p = P3Object::fromVariant(other.call(m::OpenProject, "DEPO"));
        EXPECT_EQ(P3Cursor(p.object(m::Activities)).first().text(m::Description),
                  QStringLiteral("Set out canopy (checked)"));
    }

    session.call(m::CloseProject, project);
    EXPECT_FALSE(QFile::exists(journal));
    ASSERT_TRUE(now.open(QIODevice::ReadOnly));
    const QByteArray after = now.readAll();
    EXPECT_TRUE(after.contains("Set out canopy (checked)"));
    EXPECT_EQ(after.count('\n'), before.count('\n'));
}

TEST_F(SimFixture, TornOrDamagedJournalTailIsDropped)
{
    const QString data = path(QStringLiteral("DEPO.activities.jsonl"));
    {
        const P3Object session = signedInSession();
        const P3Object project = P3Object::fromVariant(session.call(m::OpenProject, "DEPO"));
        const P3Object activities = project.object(m::Activities);
        P3Cursor cursor(activities);
        P3Object a = cursor.first();
        a.put(m::Description, QStringLiteral("first change"));
        activities.call(m::Update, a);
        a = cursor.next();
        a.put(m::Description, QStringLiteral("second change"));
        activities.call(m::Update, a);
        // Simulate a crash: keep the journal as it is, drop the objects
        // without compaction by copying the folder away first.
        ASSERT_TRUE(orvane::testing::copyFolder(projects, tempDir.filePath(QStringLiteral("crash"))));
    }
    const QString crash = tempDir.filePath(QStringLiteral("crash"));
    const QString journal = p3sim::journalPath(QDir(crash).filePath(QStringLiteral("DEPO.activities.jsonl")));
    QFile j(journal);
    ASSERT_TRUE(j.open(QIODevice::ReadOnly));
    QList<QByteArray> lines = j.readAll().split('\n');
    j.close();
    ASSERT_EQ(lines.size(), 3);   // two entries and the empty rest
    // Damage the second entry's checksum and add a torn third entry.
    lines[1][0] = lines[1][0] == '0' ? '1' : '0';
    writeFile(journal, lines[0] + '\n' + lines[1] + '\n' + QByteArray("1234abcd 3 {\"Activ"));

    const P3Object session = signedInSession();
    session.put(m::CurrentProjectPath, crash);
    const P3Object project = P3Object::fromVariant(session.call(m::OpenProject, "DEPO"));
    // The damaged tail was folded away at once, so later updates are safe.
    EXPECT_FALSE(QFile::exists(journal));
    P3Cursor cursor(project.object(m::Activities));
    EXPECT_EQ(cursor.first().text(m::Description), QStringLiteral("first change"));
    EXPECT_EQ(cursor.next().text(m::Description), QStringLiteral("Pad foundations"));
    Q_UNUSED(data);
}

TEST_F(SimFixture, DamagedProjectFilesGiveAClearError)
{
    writeFile(path(QStringLiteral("DEPOdir.p3")), "{ not json");
    const P3Object session = signedInSession();
    const QString error = errorOf([&] { session.object(m::ProjectAbstracts); });
    EXPECT_TRUE(error.startsWith(QStringLiteral("Project file \"%1\" is damaged").arg(path("DEPOdir.p3"))))
        << error.toStdString();
    writeFile(path(QStringLiteral("TWNT.activities.jsonl")), "{\"ActivityID\":\"T1\"}\n{oops\n");
    const P3Object project = P3Object::fromVariant(session.call(m::OpenProject, "TWNT"));
    P3Cursor cursor(project.object(m::Activities));
    EXPECT_EQ(cursor.first().text(m::ActivityID), QStringLiteral("T1"));
    EXPECT_TRUE(errorOf([&] { cursor.next(); }).contains(QStringLiteral("is damaged at activity 2")));
}

// ------------------------------------------------------------ sign-in

TEST_F(SimFixture, UsersListGuardsListingAndOpening)
{
    const P3Object session = newSession();
    EXPECT_FALSE(session.get(m::CurrentUser).isValid());
    const QString notSignedIn = QStringLiteral("No user is signed in to P3. Log in before listing or opening projects.");
    EXPECT_EQ(errorOf([&] { session.object(m::ProjectAbstracts); }), notSignedIn);
    EXPECT_EQ(errorOf([&] { session.call(m::OpenProject, "CLIN"); }), notSignedIn);

    EXPECT_EQ(errorOf([&] { session.call(m::Login, "planner", "SCHEDULE", false); }),
              QStringLiteral("Invalid user name or password."));
    EXPECT_EQ(errorOf([&] { session.call(m::Login, "PLANNER", "schedule", true); }),
              QStringLiteral("Invalid user name or password."));
    session.call(m::Login, "PLANNER", "SCHEDULE", false);
    EXPECT_EQ(session.text(m::CurrentUser), QStringLiteral("PLANNER"));
    EXPECT_EQ(abstracts(session).size(), 6u);
    session.call(m::Logout);
    EXPECT_FALSE(session.get(m::CurrentUser).isValid());
    EXPECT_EQ(errorOf([&] { session.object(m::ProjectAbstracts); }), notSignedIn);

    // Without a users list anybody may list projects.
    QFile::remove(path(QStringLiteral("p3users.json")));
    EXPECT_EQ(abstracts(newSession()).size(), 6u);
}

TEST_F(SimFixture, LoginFlagForcesTheSignIn)
{
    const P3Object session = newSession();
    EXPECT_EQ(errorOf([&] { session.call(m::Login, "SITEMGR", "CONCRETE", false); }),
              QStringLiteral("User SITEMGR is already signed in at another workstation."));
    session.call(m::Login, "SITEMGR", "CONCRETE", true);
    EXPECT_EQ(session.text(m::CurrentUser), QStringLiteral("SITEMGR"));
    EXPECT_EQ(errorOf([&] { session.call(m::Login, "PLANNER", "SCHEDULE", false); }),
              QStringLiteral("User SITEMGR is already signed in to this session."));
    session.call(m::Login, "PLANNER", "SCHEDULE", true);
    EXPECT_EQ(session.text(m::CurrentUser), QStringLiteral("PLANNER"));
}

TEST_F(SimFixture, CurrentUserSettings)
{
    p3sim::control().settings.hasCurrentUser = true;
    p3sim::control().settings.currentUser = QStringLiteral("ENGINEER");
    EXPECT_EQ(newSession().get(m::CurrentUser), QVariant(QStringLiteral("ENGINEER")));
    EXPECT_EQ(abstracts(newSession()).size(), 6u);

    p3sim::control().settings.hasCurrentUser = false;
    p3sim::control().settings.noUserAsNullObject = true;
    const QVariant none = newSession().get(m::CurrentUser);
    EXPECT_TRUE(none.isValid());
    EXPECT_TRUE(isNothing(none));
}

// ------------------------------------------------------------ faults and call log

TEST_F(SimFixture, MemberFailsOnItsNthCall)
{
    p3sim::control().failOn(QStringLiteral("Cursor.GetNext"), 3, QStringLiteral("Cursor lost."));
    const P3Object session = signedInSession();
    const P3Object project = P3Object::fromVariant(session.call(m::OpenProject, "DEPO"));
    P3Cursor cursor(project.object(m::Activities));
    cursor.first();
    cursor.next();
    cursor.next();
    EXPECT_EQ(errorOf([&] { cursor.next(); }), QStringLiteral("Cursor lost."));
    EXPECT_NO_THROW(cursor.next());   // only the nth call fails

    p3sim::control().failOn(QStringLiteral("Text="), 1, QStringLiteral("Log is locked."));
    const P3Object log = P3Cursor(project.object(m::Activities)).first().object(m::ActivityLogs).object(m::NewItem);
    EXPECT_NO_THROW(log.get(m::Text));
    EXPECT_EQ(errorOf([&] { log.put(m::Text, "x"); }), QStringLiteral("Log is locked."));
}

TEST_F(SimFixture, FaultsFromTheEnvironmentSyntax)
{
    p3sim::Control& c = p3sim::control();
    c.addFaults(QStringLiteral("open-empty; short-cursor:2; login-false-fails; logout-fails:Server busy: retry; "
                               "fail:Session.ProjectAbstracts:1:Disk: not ready"));
    const P3Object session = newSession();
    EXPECT_EQ(errorOf([&] { session.call(m::Login, "PLANNER", "SCHEDULE", false); }),
              QStringLiteral("The P3 licence is in use; sign-in refused."));
    session.call(m::Login, "PLANNER", "SCHEDULE", false);   // only the first one fails
    EXPECT_EQ(errorOf([&] { session.object(m::ProjectAbstracts); }), QStringLiteral("Disk: not ready"));
    EXPECT_TRUE(isNothing(session.call(m::OpenProject, "DEPO")));
    EXPECT_EQ(errorOf([&] { session.call(m::Logout); }), QStringLiteral("Server busy: retry"));

    c.openProjectReturnsEmpty = false;
    const P3Object project = P3Object::fromVariant(session.call(m::OpenProject, "DEPO"));
    EXPECT_EQ(project.object(m::Activities).integer(m::Count), 6);
    EXPECT_EQ(activityIds(project).size(), 4);

    for (const char* bad : {"fail:Login:x:msg", "fail:Login:1", "short-cursor:0", "wobble"})
        EXPECT_THROW(c.addFaults(QString::fromLatin1(bad)), std::invalid_argument) << bad;
}

TEST_F(SimFixture, CallLogNamesObjectMemberAndArguments)
{
    const P3Object session = signedInSession();
    session.put(m::CurrentProjectPath, projects);
    P3Object::fromVariant(session.call(m::OpenProject, "CAMP", "LIBR"));
    const QStringList lines = p3sim::control().callLines();
    EXPECT_EQ(lines, (QStringList{QStringLiteral("Session.Login(\"PLANNER\", \"SCHEDULE\", false)"),
                                  QStringLiteral("Session.CurrentProjectPath = \"%1\"").arg(projects),
                                  QStringLiteral("Session.OpenProject(\"CAMP\", \"LIBR\")")}));
    EXPECT_EQ(p3sim::control().callCount(QStringLiteral("Login")), 1);
    EXPECT_EQ(p3sim::control().callCount(QStringLiteral("CurrentProjectPath=")), 1);
    EXPECT_EQ(p3sim::control().callCount(QStringLiteral("CurrentProjectPath")), 0);
}

TEST_F(SimFixture, UnavailableServerCannotBeCreated)
{
    p3sim::control().settings.unavailable = true;
    EXPECT_EQ(errorOf([] { p3sim::createSession(); }), QStringLiteral("Invalid class string"));
}

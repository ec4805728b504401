// The COM backend, on Windows (under Wine here): VARIANT conversions, and
// late-bound calls into the simulated P3 served by the test COM server
// (p3sim-com.dll), checked against the same simulator called directly.

#include "p3link/AutomationFactory.h"
#include "p3link/P3Object.h"
#include "p3link/P3Session.h"
#include "p3link/com/ComAutomation.h"
#include "p3link/com/ComVariant.h"
#include "p3sim/Server.h"
#include "support/ErrorOf.h"
#include "support/SampleProjects.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace orvane::p3link {
namespace {

namespace m = member;
using com::Variant;

using testing::errorOf;

const com::DispatchBridge& noObjects()
{
    static const com::DispatchBridge bridge{
        [](IDispatch*) -> ObjectRef { throw AutomationError(QStringLiteral("unexpected object")); },
        [](const ObjectRef&) -> IDispatch* { throw AutomationError(QStringLiteral("unexpected object")); }};
    return bridge;
}

// ------------------------------------------------------------ conversions

struct FromCase {
    const char* name;
    std::function<void(VARIANT*)> fill;
    QVariant expected;
};

TEST(ComVariant, ReadsEveryKindOfValueP3Delivers)
{
    static LONG byReference = 77;
    const FromCase cases[] = {
        {"empty", [](VARIANT* v) { V_VT(v) = VT_EMPTY; }, QVariant()},
        {"null", [](VARIANT* v) { V_VT(v) = VT_NULL; }, nullVariant()},
        {"text", [](VARIANT* v) { V_VT(v) = VT_BSTR; V_BSTR(v) = SysAllocString(L"Pour \u00e4 slab"); },
         QStringLiteral("Pour \u00e4 slab")},
        {"empty text", [](VARIANT* v) { V_VT(v) = VT_BSTR; V_BSTR(v) = nullptr; }, QString()},
        {"true", [](VARIANT* v) { V_VT(v) = VT_BOOL; V_BOOL(v) = VARIANT_TRUE; }, true},
        {"false", [](VARIANT* v) { V_VT(v) = VT_BOOL; V_BOOL(v) = VARIANT_FALSE; }, false},
        {"16-bit", [](VARIANT* v) { V_VT(v) = VT_I2; V_I2(v) = -32768; }, -32768},
        {"32-bit", [](VARIANT* v) { V_VT(v) = VT_I4; V_I4(v) = 2147483647; }, 2147483647},
        {"byte", [](VARIANT* v) { V_VT(v) = VT_UI1; V_UI1(v) = 200; }, 200},
        {"single", [](VARIANT* v) { V_VT(v) = VT_R4; V_R4(v) = 2.5f; }, 2.5},
        {"double", [](VARIANT* v) { V_VT(v) = VT_R8; V_R8(v) = 0.1; }, 0.1},
        {"currency", [](VARIANT* v) { V_VT(v) = VT_CY; V_CY(v).int64 = -12345678; }, -1234.5678},
        {"date and time", [](VARIANT* v) { V_VT(v) = VT_DATE; V_DATE(v) = 45000.75; },
         QDateTime(QDate(2023, 3, 15), QTime(18, 0))},
        {"date before 1900", [](VARIANT* v) { V_VT(v) = VT_DATE; V_DATE(v) = -1.25; },
         QDateTime(QDate(1899, 12, 29), QTime(6, 0))},
        {"null object", [](VARIANT* v) { V_VT(v) = VT_DISPATCH; V_DISPATCH(v) = nullptr; }, objectVariant(nullptr)},
        {"by reference", [](VARIANT* v) { V_VT(v) = VT_I4 | VT_BYREF; V_I4REF(v) = &byReference; }, 77},
    };
    for (const FromCase& c : cases) {
        SCOPED_TRACE(c.name);
        Variant v;
        c.fill(v.get());
        const QVariant got = com::fromVariant(v.value(), noObjects());
        EXPECT_EQ(got.metaType(), c.expected.metaType());
        if (c.expected.metaType() == QMetaType::fromType<ObjectRef>())
            EXPECT_TRUE(isNothing(got));
        else
            EXPECT_EQ(got, c.expected) << got.toString().toStdString();
    }
}

TEST(ComVariant, ValuesSurviveTheWayThereAndBack)
{
    struct Case {
        const char* name;
        QVariant value;
        VARTYPE type;
    };
    const Case cases[] = {
        {"empty", QVariant(), VT_EMPTY},
        {"null", nullVariant(), VT_NULL},
        {"text", QStringLiteral("Log line \u00e9\u00df"), VT_BSTR},
        {"Boolean", true, VT_BOOL},
        {"integer", -40000, VT_I4},
        {"short", QVariant::fromValue(short(-7)), VT_I2},
        {"single", QVariant::fromValue(0.25f), VT_R4},
        {"double", 1234.5678, VT_R8},
        {"date", QDateTime(QDate(2024, 2, 29), QTime(7, 30, 15)), VT_DATE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Variant v;
        com::toVariant(c.value, v.get(), noObjects());
        EXPECT_EQ(V_VT(&v.value()), c.type);
        const QVariant back = com::fromVariant(v.value(), noObjects());
        EXPECT_EQ(back.toString(), c.value.toString());
        EXPECT_EQ(isNothing(back), isNothing(c.value));
    }
    // A value with no VARIANT form is refused, not passed as something else.
    Variant list;
    EXPECT_EQ(errorOf([&] { com::toVariant(QVariantList{1, 2}, list.get(), noObjects()); }),
              QStringLiteral("Type mismatch."));
}

TEST(ComVariant, DatesKeepTheirWallClockTime)
{
    for (const double date : {0.0, 1.5, 36526.999988426, 45366.0833333333, -700.875}) {
        SCOPED_TRACE(date);
        EXPECT_NEAR(com::toOleDate(com::fromOleDate(date)), date, 1e-8);
    }
}

TEST(ComVariant, ErrorTextComesFromTheSystem)
{
    const QString text = com::errorText(CO_E_CLASSSTRING);
    EXPECT_FALSE(text.isEmpty());
    EXPECT_FALSE(text.endsWith(QLatin1Char('\n')));
    EXPECT_EQ(com::errorText(HRESULT(0xA0001234)), QStringLiteral("Automation error 0xA0001234"));
}

// --------------------------------------------- calls through the COM server

// Registers the test COM server beside this program, as regsvr32 does, and
// gives every test a copy of the sample projects.
class ComSession : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // The samples' users list, for both copies of the simulator (this
        // program's and the server's), which read it when first used.
        qputenv("P3SIM_USERS",
                QDir::toNativeSeparators(orvane::testing::kSampleProjects + QStringLiteral("/p3users.json")).toLocal8Bit());
        const QString dll = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("p3sim-com.dll"));
        HMODULE module = LoadLibraryW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(dll).utf16()));
        ASSERT_NE(module, nullptr) << dll.toStdString();
        using Register = HRESULT(WINAPI*)();
        auto registerServer = reinterpret_cast<Register>(reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
        ASSERT_NE(registerServer, nullptr);
        ASSERT_EQ(registerServer(), S_OK);
    }

    void SetUp() override
    {
        ASSERT_TRUE(projects.isValid());
        ASSERT_TRUE(orvane::testing::copyFolder(orvane::testing::kSampleProjects, projects.path()));
    }

    // A signed-in session of either backend on the copied projects.
    P3Object signedIn(P3Object session)
    {
        session.put(m::CurrentProjectPath, QDir::toNativeSeparators(projects.path()));
        session.call(m::Login, "PLANNER", "SCHEDULE", false);
        return session;
    }
    P3Object overCom() { return signedIn(P3Object(com::createObject(kP3SessionProgId))); }
    P3Object direct() { return signedIn(P3Object(p3sim::createSession())); }

    QTemporaryDir projects;
};

// Every value the import reads, read once through COM and once from the
// simulator itself: the two must agree value for value and type for type.
TEST_F(ComSession, DeliversWhatTheServerHolds)
{
    const auto readProject = [](const P3Object& session) {
        QVariantList values;
        const P3Object project = P3Object::fromVariant(session.call(m::OpenProject, "CLIN"));
        EXPECT_FALSE(project.isNull());
        forEachElement(project.object(m::ActivityCodes), [&](const P3Object& code) { values << code.get(m::Name); });
        forEachElement(project.object(m::Activities), [&](const P3Object& activity) {
            for (const Member& member : activityDataMembers())
                values << activity.get(member);
            forEachElement(activity.object(m::ActivityCodes),
                           [&](const P3Object& code) { values << code.get(m::Value); });
            forEachElement(activity.object(m::ActivityLogs), [&](const P3Object& log) {
                values << log.get(m::SequenceNumber) << log.get(m::Text);
            });
        });
        session.call(m::CloseProject, project);
        session.invoke(m::Logout);
        return values;
    };
    const QVariantList expected = readProject(direct());
    const QVariantList got = readProject(overCom());
    ASSERT_GT(expected.size(), 305 * 28);
    ASSERT_EQ(got.size(), expected.size());
    for (qsizetype i = 0; i < got.size(); ++i) {
        ASSERT_EQ(got[i].metaType(), expected[i].metaType()) << i;
        ASSERT_EQ(got[i], expected[i]) << i << " " << expected[i].toString().toStdString();
    }
}

TEST_F(ComSession, AssignmentsAndObjectArgumentsReachTheServer)
{
    const P3Object session = overCom();
    const P3Object project = P3Object::fromVariant(session.call(m::OpenProject, "DEPO"));
    const P3Object activities = project.object(m::Activities);
    const P3Object activity = P3Cursor(activities).first();
    activity.put(m::Description, QStringLiteral("Changed through COM"));
    const P3Object logs = activity.object(m::ActivityLogs);
    const P3Object log = logs.object(m::NewItem);
    log.put(m::SequenceNumber, 42);
    log.put(m::Text, QStringLiteral("Line forty-two"));
    logs.call(m::Add, log);
    activities.call(m::Update, activity);
    const QString id = activity.text(m::ActivityID);
    session.call(m::CloseProject, project);
    session.invoke(m::Logout);

    // Read back without COM.
    const P3Object check = direct();
    const P3Object reopened = P3Object::fromVariant(check.call(m::OpenProject, "DEPO"));
    bool found = false;
    forEachElement(reopened.object(m::Activities), [&](const P3Object& a) {
        if (a.text(m::ActivityID) != id)
            return;
        found = true;
        EXPECT_EQ(a.text(m::Description), QStringLiteral("Changed through COM"));
        QStringList lines;
        forEachElement(a.object(m::ActivityLogs), [&](const P3Object& l) {
            lines << QString::number(l.integer(m::SequenceNumber)) + QLatin1Char(':') + l.text(m::Text);
        });
        EXPECT_TRUE(lines.contains(QStringLiteral("42:Line forty-two"))) << lines.join(u'|').toStdString();
    });
    EXPECT_TRUE(found);
}

TEST_F(ComSession, ServerErrorsArriveWithTheServersText)
{
    const P3Object session(com::createObject(kP3SessionProgId));
    const P3Object reference(p3sim::createSession());
    const auto failingCalls = std::vector<std::function<void(const P3Object&)>>{
        [](const P3Object& s) { s.get(m::ProjectAbstracts); },   // nobody signed in
        [](const P3Object& s) { s.call(m::Login, "PLANNER", "WRONG", false); },
        [](const P3Object& s) { s.invoke(Member{QStringLiteral("NoSuchMember")}); },
        [](const P3Object& s) { s.call(m::OpenProject, "NOPE"); },
    };
    for (const auto& call : failingCalls) {
        const QString expected = errorOf([&] { call(reference); });
        ASSERT_NE(expected, QStringLiteral("<no error>"));
        EXPECT_EQ(errorOf([&] { call(session); }), expected);
    }
}

TEST(ComFactory, UnregisteredClassCannotBeReached)
{
    const QString expected = com::errorText(CO_E_CLASSSTRING);
    EXPECT_EQ(errorOf([] { com::createObject(QStringLiteral("P3Session.NotInstalled")); }), expected);

    // The session frame reports it as P3 not being reachable.
    const ObjectCreator previous = setAutomationCreator(
        kP3SessionProgId, [] { return com::createObject(QStringLiteral("P3Session.NotInstalled")); });
    EXPECT_EQ(errorOf([] { openSession(); }), QStringLiteral("P3 cannot be reached: ") + expected);
    setAutomationCreator(kP3SessionProgId, previous);
}

} // namespace
} // namespace orvane::p3link

// The object wrapper and walk helpers the import and write-back build on.

#include "../p3sim/SimTestSupport.h"

#include "p3link/AutomationFactory.h"
#include "p3link/P3Object.h"

using namespace orvane;
using namespace orvane::p3link;
namespace m = orvane::p3link::member;

TEST(IsNothing, TellsNothingFromEmptyValues)
{
    const std::pair<QVariant, bool> cases[] = {
        {QVariant(), true},
        {nullVariant(), true},
        {objectVariant(nullptr), true},
        {QVariant(QString()), false},   // an empty text is a value
        {QVariant(0), false},
        {QVariant(false), false},
        {objectVariant(p3sim::createSession()), false},
    };
    for (const auto& [value, nothing] : cases)
        EXPECT_EQ(isNothing(value), nothing) << value.typeName();
}

TEST(P3ObjectConversions, TextAndInteger)
{
    EXPECT_EQ(P3Object::toText(QVariant()), QString());
    EXPECT_EQ(P3Object::toText(nullVariant()), QString());
    EXPECT_EQ(P3Object::toText(QVariant(2.5)), QStringLiteral("2.5"));
    EXPECT_EQ(P3Object::toInteger(QVariant(7.0), m::Count), 7);
    EXPECT_THROW(P3Object::toInteger(QVariant(QStringLiteral("seven")), m::Count), AutomationError);
}

class P3ObjectTest : public orvane::testing::SimFixture {};

TEST_F(P3ObjectTest, FactoryServesP3SessionAndRefusesOtherProgIds)
{
    EXPECT_FALSE(createAutomationObject(kP3SessionProgId).isNull());
    EXPECT_THROW(createAutomationObject(QStringLiteral("Excel.Application")), AutomationError);
    // A replaced creator is used until restored.
    int created = 0;
    setAutomationCreator(kP3SessionProgId, [&] {
        ++created;
        return p3sim::createSession();
    });
    createAutomationObject(kP3SessionProgId);
    setAutomationCreator(kP3SessionProgId, {});
    createAutomationObject(kP3SessionProgId);
    EXPECT_EQ(created, 1);
}

TEST_F(P3ObjectTest, WalkVisitsEveryElementOnceWithANewCursor)
{
    const P3Object session = signedInSession();
    const P3Object project = P3Object::fromVariant(session.call(m::OpenProject, "CAMP"));
    const P3Object activities = project.object(m::Activities);
    QStringList first, second;
    EXPECT_EQ(forEachElement(activities, [&](const P3Object& a) { first << a.text(m::ActivityID); }), 12);
    EXPECT_EQ(forEachElement(activities, [&](const P3Object& a) { second << a.text(m::ActivityID); }), 12);
    EXPECT_EQ(first, second);
    EXPECT_EQ(first.removeDuplicates(), 0);
    EXPECT_EQ(p3sim::control().callCount(QStringLiteral("Activities.NewCursor")), 2);
}

TEST_F(P3ObjectTest, ShortCursorFailsOnTheFirstMissingActivityWithAnAutomationError)
{
    p3sim::control().activitiesCursorShortBy = 1;
    const P3Object session = signedInSession();
    const P3Object project = P3Object::fromVariant(session.call(m::OpenProject, "DEPO"));
    const P3Object activities = project.object(m::Activities);
    const int count = activities.integer(m::Count);
    ASSERT_EQ(count, 6);
    const P3Cursor cursor(activities);
    P3Object activity = cursor.first();
    int read = 0;
    try {
        for (int k = 0; k < count; ++k) {
            activity.text(m::ActivityID);
            ++read;
            activity = cursor.next();
        }
        FAIL() << "no error";
    } catch (const AutomationError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Object required to call ActivityID"));
    }
    EXPECT_EQ(read, 5);
}

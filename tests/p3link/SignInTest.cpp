// The session frame and sign-in against the simulated P3 server.

#include "../p3sim/SimTestSupport.h"

#include "p3link/P3Session.h"

#include <QFile>

using namespace orvane;
using namespace orvane::p3link;
namespace m = orvane::p3link::member;

namespace {

// Stands in for the login dialog: answers with fixed entries (OK) or
// nothing (Cancel), and remembers what it was shown.
class ScriptedPrompt : public LoginPrompt {
public:
    explicit ScriptedPrompt(std::optional<P3Credentials> answer) : answer(std::move(answer)) {}
    std::optional<P3Credentials> ask(const P3Credentials& remembered) override
    {
        ++asked;
        shown = remembered;
        return answer;
    }
    std::optional<P3Credentials> answer;
    int asked = 0;
    P3Credentials shown;
};

class SignInTest : public orvane::testing::SimFixture {
protected:
    void SetUp() override
    {
        SimFixture::SetUp();
        Session.reset();
    }
    void TearDown() override
    {
        Session.reset();
        SimFixture::TearDown();
    }

    // Runs one operation; returns the message of the error that ended it,
    // empty on success.
    QString run(SignInVariant variant, P3Credentials& credentials, LoginPrompt* prompt,
                const std::function<void()>& work = [] {})
    {
        try {
            runWithSession(variant, credentials, prompt, work);
        } catch (const OrvaneError& e) {
            return e.message();
        }
        return QString();
    }

    static int calls(const char* member) { return p3sim::control().callCount(QString::fromLatin1(member)); }

    static QVariantList loginArgs(int n)
    {
        int seen = 0;
        for (const p3sim::CallRecord& c : p3sim::control().calls()) {
            if (c.member == QLatin1String("Login") && seen++ == n)
                return c.args;
        }
        return {};
    }
};

const SignInVariant kAllVariants[] = {SignInVariant::DialogCancelSkips, SignInVariant::DialogCancelSignsIn,
                                      SignInVariant::NoDialog};

} // namespace

TEST(UpperCaseAscii, ChangesOnlyLettersAToZ)
{
    const std::pair<QString, QString> cases[] = {
        {"planner", "PLANNER"},
        {"Mixed Case 42_x", "MIXED CASE 42_X"},
        {QStringLiteral("müller"), QStringLiteral("MüLLER")},
        {QStringLiteral("straße é"), QStringLiteral("STRAßE é")},
        {QStringLiteral("пароль"), QStringLiteral("пароль")},
        {"", ""},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(upperCaseAscii(in), out) << in.toStdString();
}

TEST_F(SignInTest, ReportedUserMeansNoDialogAndNoLogin)
{
    // Any value counts as a signed-in user, an empty text included.
    p3sim::control().settings.hasCurrentUser = true;
    p3sim::control().settings.currentUser = QString();
    for (SignInVariant variant : kAllVariants) {
        p3sim::control().clearCalls();
        ScriptedPrompt prompt(P3Credentials{"x", "y"});
        P3Credentials credentials{"PLANNER", "SCHEDULE"};
        bool worked = false;
        EXPECT_EQ(run(variant, credentials, &prompt, [&] {
                      worked = true;
                      EXPECT_EQ(Session.object(m::ProjectAbstracts).integer(m::Count), 6);
                  }),
                  QString());
        EXPECT_TRUE(worked);
        EXPECT_EQ(prompt.asked, 0);
        EXPECT_EQ(calls("Login"), 0);
        EXPECT_EQ(calls("Logout"), 1);
        EXPECT_TRUE(Session.isNull());
    }
}

TEST_F(SignInTest, NullObjectAsCurrentUserMeansNobody)
{
    p3sim::control().settings.noUserAsNullObject = true;
    ScriptedPrompt prompt(P3Credentials{"planner", "schedule"});
    P3Credentials credentials;
    EXPECT_EQ(run(SignInVariant::DialogCancelSkips, credentials, &prompt), QString());
    EXPECT_EQ(prompt.asked, 1);
    EXPECT_EQ(calls("Login"), 1);
}

TEST_F(SignInTest, DialogEntriesAreUpperCasedStoredAndPassed)
{
    struct Case {
        const char* name;
        QString user, password, storedUser, storedPassword;
        bool usersList;
    };
    const Case cases[] = {
        {"lower case", "planner", "schedule", "PLANNER", "SCHEDULE", true},
        {"non-ASCII letters", QStringLiteral("müller"), QStringLiteral("пароль"), QStringLiteral("MüLLER"),
         QStringLiteral("пароль"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.usersList)
            QFile::remove(path(QStringLiteral("p3users.json")));
        for (SignInVariant variant : {SignInVariant::DialogCancelSkips, SignInVariant::DialogCancelSignsIn}) {
            p3sim::control().clearCalls();
            ScriptedPrompt prompt(P3Credentials{c.user, c.password});
            P3Credentials credentials{"OLD", "OLDPW"};
            EXPECT_EQ(run(variant, credentials, &prompt,
                          [] { EXPECT_EQ(Session.object(m::ProjectAbstracts).integer(m::Count), 6); }),
                      QString());
            EXPECT_EQ(prompt.shown.user, QStringLiteral("OLD"));
            EXPECT_EQ(prompt.shown.password, QStringLiteral("OLDPW"));
            EXPECT_EQ(credentials.user, c.storedUser);
            EXPECT_EQ(credentials.password, c.storedPassword);
            EXPECT_EQ(loginArgs(0), (QVariantList{c.storedUser, c.storedPassword, false}));
            EXPECT_EQ(calls("Login"), 1);
        }
    }
}

TEST_F(SignInTest, CancelSkipsTheSignInForTheImportOnly)
{
    {
        ScriptedPrompt cancel(std::nullopt);
        P3Credentials credentials{"PLANNER", "SCHEDULE"};
        bool worked = false;
        // The import goes on without a user; the server refuses the listing.
        EXPECT_EQ(run(SignInVariant::DialogCancelSkips, credentials, &cancel, [&] {
                      worked = true;
                      Session.object(m::ProjectAbstracts);
                  }),
                  QStringLiteral("No user is signed in to P3. Log in before listing or opening projects."));
        EXPECT_TRUE(worked);
        EXPECT_EQ(calls("Login"), 0);
        EXPECT_EQ(calls("Logout"), 1);
        EXPECT_TRUE(Session.isNull());
    }
    p3sim::control().clearCalls();
    {
        ScriptedPrompt cancel(std::nullopt);
        P3Credentials credentials{"PLANNER", "SCHEDULE"};
        EXPECT_EQ(run(SignInVariant::DialogCancelSignsIn, credentials, &cancel), QString());
        EXPECT_EQ(loginArgs(0), (QVariantList{"PLANNER", "SCHEDULE", false}));
        EXPECT_EQ(credentials.user, QStringLiteral("PLANNER"));
        EXPECT_EQ(calls("Logout"), 1);
    }
}

TEST_F(SignInTest, NoDialogSignsInWithTheRememberedValues)
{
    ScriptedPrompt prompt(P3Credentials{"other", "other"});
    P3Credentials credentials{"PLANNER", "SCHEDULE"};
    EXPECT_EQ(run(SignInVariant::NoDialog, credentials, &prompt), QString());
    EXPECT_EQ(prompt.asked, 0);
    EXPECT_EQ(loginArgs(0), (QVariantList{"PLANNER", "SCHEDULE", false}));
}

TEST_F(SignInTest, FailedFirstLoginIsRetriedWithTheFlagSet)
{
    // A user signed in elsewhere: refused without the flag, taken over with it.
    for (SignInVariant variant : kAllVariants) {
        p3sim::control().clearCalls();
        ScriptedPrompt prompt(P3Credentials{"sitemgr", "concrete"});
        P3Credentials credentials{"SITEMGR", "CONCRETE"};
        EXPECT_EQ(run(variant, credentials, &prompt,
                      [] { EXPECT_EQ(Session.text(m::CurrentUser), QStringLiteral("SITEMGR")); }),
                  QString());
        EXPECT_EQ(calls("Login"), 2);
        EXPECT_EQ(loginArgs(0), (QVariantList{"SITEMGR", "CONCRETE", false}));
        EXPECT_EQ(loginArgs(1), (QVariantList{"SITEMGR", "CONCRETE", true}));
    }
    // The injected fault of the first flag-false Login.
    p3sim::control().clearCalls();
    p3sim::control().addFaults(QStringLiteral("login-false-fails"));
    P3Credentials credentials{"PLANNER", "SCHEDULE"};
    EXPECT_EQ(run(SignInVariant::NoDialog, credentials, nullptr), QString());
    EXPECT_EQ(calls("Login"), 2);
}

TEST_F(SignInTest, BothLoginsFailingEndTheOperationAndKeepTheTypedValues)
{
    ScriptedPrompt prompt(P3Credentials{"planner", "wrong"});
    P3Credentials credentials;
    bool worked = false;
    EXPECT_EQ(run(SignInVariant::DialogCancelSkips, credentials, &prompt, [&] { worked = true; }),
              QStringLiteral("Invalid user name or password."));
    EXPECT_FALSE(worked);
    EXPECT_EQ(calls("Login"), 2);
    EXPECT_EQ(calls("Logout"), 1);
    EXPECT_TRUE(Session.isNull());
    EXPECT_EQ(credentials.user, QStringLiteral("PLANNER"));
    EXPECT_EQ(credentials.password, QStringLiteral("WRONG"));
}

TEST_F(SignInTest, LogoutOnceAndNoSessionAfterEveryEnding)
{
    struct Case {
        const char* name;
        std::function<void()> work;
        QString error;
    };
    const Case cases[] = {
        {"success", [] { Session.object(m::ProjectAbstracts); }, QString()},
        {"own error", [] { throw EP3EngineError(QStringLiteral("Project loading canceled by user.")); },
         QStringLiteral("Project loading canceled by user.")},
        {"server error", [] { Session.call(m::OpenProject, "NONE"); },
         QStringLiteral("Project NONE not found in \"%1\".").arg(projects)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        p3sim::control().clearCalls();
        P3Credentials credentials{"PLANNER", "SCHEDULE"};
        EXPECT_EQ(run(SignInVariant::NoDialog, credentials, nullptr, c.work), c.error);
        EXPECT_EQ(calls("Logout"), 1);
        EXPECT_TRUE(Session.isNull());
    }
}

TEST_F(SignInTest, FailingLogoutIsReportedAndKeepsTheSession)
{
    p3sim::control().logoutFailure = QStringLiteral("Logout failed: project locked");
    for (const bool workFails : {false, true}) {
        P3Credentials credentials{"PLANNER", "SCHEDULE"};
        EXPECT_EQ(run(SignInVariant::NoDialog, credentials, nullptr,
                      [&] {
                          if (workFails)
                              throw EP3EngineError(QStringLiteral("Loading project failed!"));
                      }),
                  QStringLiteral("Logout failed: project locked"));
        EXPECT_FALSE(Session.isNull());
    }
    // The next operation replaces the kept session with a new one.
    const ObjectRef kept = Session.ref();
    p3sim::control().logoutFailure.clear();
    P3Credentials credentials{"PLANNER", "SCHEDULE"};
    ObjectRef used;
    EXPECT_EQ(run(SignInVariant::NoDialog, credentials, nullptr, [&] { used = Session.ref(); }), QString());
    EXPECT_NE(used, kept);
    EXPECT_TRUE(Session.isNull());
}

TEST_F(SignInTest, UnreachableServerReportsTheCreationError)
{
    // Leave a session behind (its Logout failed), then make P3 unreachable.
    p3sim::control().logoutFailure = QStringLiteral("Logout failed.");
    P3Credentials credentials{"PLANNER", "SCHEDULE"};
    run(SignInVariant::NoDialog, credentials, nullptr);
    ASSERT_FALSE(Session.isNull());
    p3sim::control().clearCalls();

    p3sim::control().settings.unavailable = true;
    for (SignInVariant variant : kAllVariants) {
        ScriptedPrompt prompt(P3Credentials{"PLANNER", "SCHEDULE"});
        bool worked = false;
        EXPECT_EQ(run(variant, credentials, &prompt, [&] { worked = true; }),
                  QStringLiteral("P3 cannot be reached: Invalid class string"));
        EXPECT_FALSE(worked);
        EXPECT_EQ(prompt.asked, 0);
        EXPECT_TRUE(Session.isNull());
    }
    EXPECT_TRUE(p3sim::control().calls().empty());   // no Logout on the old session or on nothing
}

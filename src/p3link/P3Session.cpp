#include "p3link/P3Session.h"

#include "p3link/AutomationFactory.h"

namespace orvane::p3link {

P3Object Session;

QString upperCaseAscii(const QString& text)
{
    QString out = text;
    for (QChar& c : out) {
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - ('a' - 'A'));
    }
    return out;
}

void openSession()
{
    // Dropped first, so that a failed creation leaves no earlier session
    // behind for the close step to sign out.
    Session.reset();
    try {
        Session = createAutomationObject(kP3SessionProgId);
    } catch (const AutomationError& e) {
        throw AutomationError(QStringLiteral("P3 cannot be reached: ") + e.message());
    }
}

bool sessionHasUser()
{
    return !isNothing(Session.get(member::CurrentUser));
}

void signInAttempt(const P3Credentials& credentials)
{
    try {
        Session.call(member::Login, credentials.user, credentials.password, false);
    } catch (...) {
        Session.call(member::Login, credentials.user, credentials.password, true);
    }
}

void signIn(SignInVariant variant, P3Credentials& credentials, LoginPrompt* prompt)
{
    if (variant == SignInVariant::NoDialog) {
        signInAttempt(credentials);
        return;
    }
    const std::optional<P3Credentials> entries = prompt ? prompt->ask(credentials) : std::nullopt;
    if (entries) {
        // Stored before the attempt, so the dialog offers them again even
        // when the sign-in fails.
        credentials.user = upperCaseAscii(entries->user);
        credentials.password = upperCaseAscii(entries->password);
    } else if (variant == SignInVariant::DialogCancelSkips) {
        return;
    }
    signInAttempt(credentials);
}

void closeSession()
{
    if (Session.isNull())
        return;
    Session.call(member::Logout);
    Session.reset();
}

SessionScope::~SessionScope()
{
    if (!m_closePending)
        return;
    try {
        close();
    } catch (...) {
        // Only reached while another error leaves the scope; that one is reported.
    }
}

void SessionScope::open(SignInVariant variant, P3Credentials& credentials, LoginPrompt* prompt)
{
    m_closePending = true;
    openSession();
    if (!sessionHasUser())
        signIn(variant, credentials, prompt);
}

void SessionScope::close()
{
    if (!m_closePending)
        return;
    m_closePending = false;
    closeSession();
}

} // namespace orvane::p3link

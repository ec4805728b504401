#pragma once
// The P3 session frame shared by the import, "Save" and "Save to Primavera":
// create the session object, sign in when P3 reports no current user, do
// the work, and on every way out sign out and drop the session.
//
// Usage:
//     runWithSession(SignInVariant::DialogCancelSkips, mainWindow.credentials(),
//                    &prompt, [&](const P3Object& session) { ... session.call(member::OpenProject, ...) ... });

#include "p3link/P3Object.h"

#include <QString>

#include <optional>
#include <type_traits>

namespace orvane::p3link {

// The remembered P3 credentials. Owned by the main window (FP3User,
// FP3Password) and passed by reference; sign-in replaces both with the
// upper-cased entries when the login dialog is confirmed.
struct P3Credentials {
    QString user;
    QString password;
};

// Session holds the P3 session object during one operation and nothing
// otherwise. runWithSession hands it to the work it runs; code called from
// outside that work (a project list shown mid-operation) reads it here.
extern P3Object Session;

// Upper-cases the ASCII letters a to z only; every other character stays.
QString upperCaseAscii(const QString& text);

// How the login dialog reaches the session code. The window shows TLoginDlg;
// orvane-batch answers without a window.
class LoginPrompt {
public:
    virtual ~LoginPrompt() = default;
    // Shows the login dialog filled with the remembered credentials. Returns
    // the entries as typed on OK, nullopt on Cancel.
    virtual std::optional<P3Credentials> ask(const P3Credentials& remembered) = 0;
};

// A prompt without a window: given credentials act as the dialog's OK, none
// as its Cancel.
class FixedLoginPrompt : public LoginPrompt {
public:
    explicit FixedLoginPrompt(std::optional<P3Credentials> answer) : m_answer(std::move(answer)) {}
    std::optional<P3Credentials> ask(const P3Credentials&) override { return m_answer; }

private:
    std::optional<P3Credentials> m_answer;
};

enum class SignInVariant {
    DialogCancelSkips,     // the import: Cancel goes on without signing in
    DialogCancelSignsIn,   // "Save to Primavera": Cancel signs in with the remembered values
    NoDialog,              // "Save": signs in with the remembered values at once
};

// --- the steps, for callers that need them one by one --------------------

// Drops what Session held and creates a new session object. When it cannot
// be created, Session stays empty and AutomationError says that P3 cannot be
// reached, with the creation error's text.
void openSession();
// True when the session reports a current user (any value but empty, null
// or a null object; an empty text counts as a user).
bool sessionHasUser();
// Login with the credentials and flag false; on any error, Login again with
// flag true, whose error is not caught.
void signInAttempt(const P3Credentials& credentials);
// Runs the variant's sign-in. A dialog variant without a prompt behaves as
// if the dialog were cancelled.
void signIn(SignInVariant variant, P3Credentials& credentials, LoginPrompt* prompt);
// Logout, then drop the session. Does nothing when Session is empty (the
// object was never created). When Logout throws, Session keeps the object
// and the error propagates.
void closeSession();

// Guard for the close step: close() runs it once; when the guard is left
// without close() (an error is on its way out) the destructor runs it and
// lets that error win over a Logout failure.
class SessionScope {
public:
    SessionScope() = default;
    SessionScope(const SessionScope&) = delete;
    SessionScope& operator=(const SessionScope&) = delete;
    ~SessionScope();

    // Opens the session and signs in when P3 reports no current user.
    void open(SignInVariant variant, P3Credentials& credentials, LoginPrompt* prompt);
    // Signs out and drops the session, once. Throws Logout's error.
    void close();

private:
    bool m_closePending = false;
};

// The whole frame: open and sign in, run work(session) (or work() when it
// takes no session), then close on every way out. The error reported is the
// one that ended the operation, or Logout's error when signing out fails too.
template <class Work>
void runWithSession(SignInVariant variant, P3Credentials& credentials, LoginPrompt* prompt, Work&& work)
{
    SessionScope scope;
    try {
        scope.open(variant, credentials, prompt);
        if constexpr (std::is_invocable_v<Work, const P3Object&>)
            work(static_cast<const P3Object&>(Session));
        else
            work();
    } catch (...) {
        scope.close();   // a Logout error thrown here replaces the first one
        throw;
    }
    scope.close();
}

} // namespace orvane::p3link

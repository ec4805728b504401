#pragma once
// What the import and the write-back share inside p3link: a scope guard,
// opening the project of the current identity, and the log numbers the
// table can hold.

#include "common/ErrorText.h"
#include "common/Errors.h"
#include "p3link/P3Members.h"
#include "p3link/P3Operations.h"
#include "store/ActivityLayout.h"

#include <cmath>
#include <optional>

namespace orvane::p3link {

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

inline P3Object openProject(const P3Object& session, const ProjectIdentity& project)
{
    const QVariant result = project.name.isEmpty() ? session.call(member::OpenProject, project.group)
                                                   : session.call(member::OpenProject, project.group, project.name);
    return P3Object::fromVariant(result);
}

// Takes the chooser's answer as the current project identity: a subproject
// of exactly one blank means the group itself.
inline void takeProjectIdentity(const ProjectChoice& choice, ProjectIdentity& project)
{
    project.group = choice.group;
    project.name = choice.subproject == QLatin1String(" ") ? QString() : choice.subproject;
}

// The number of a log as the table can hold it: a whole number from 1 to
// 99. Other numbers (0, 100, negative, fractional) have no column.
inline std::optional<int> tableLogNumber(const QVariant& sequence)
{
    bool ok = false;
    const double number = sequence.toDouble(&ok);
    if (!ok || number < 1 || number > store::kLogCount || number != std::floor(number))
        return std::nullopt;
    return int(number);
}

// Runs an operation's work in its session. Once the work has returned the
// operation's result stands (its changes are committed): a failure to sign
// out afterwards is returned as a warning (`warning` with P3's reason for
// %1) instead of thrown over a result that did happen. Returns an empty
// text when signing out went well.
template <class Work>
QString runSessionThenWarn(SignInVariant variant, P3Credentials& credentials, LoginPrompt* prompt,
                           const QString& warning, Work&& work)
{
    bool finished = false;
    try {
        runWithSession(variant, credentials, prompt, [&](const P3Object& session) {
            work(session);
            finished = true;
        });
    } catch (const OrvaneError& e) {
        if (!finished)
            throw;
        return warning.arg(errorBoxText(e.message()));
    }
    return QString();
}

} // namespace orvane::p3link

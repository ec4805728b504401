#pragma once
// The simulated P3 automation server.
//
// createSession() makes what the ProgID "P3Session" makes on a machine with
// P3: a session object whose members are called by name (see
// p3link/Automation.h). Projects live in folders on disk in the JSON format
// described in p3sim/README.md.
//
// Everything that is not P3 itself -- where the projects are, who is signed
// in, injected faults, the call log -- is held by the process-wide control()
// object. It starts from the environment (P3SIM_* variables, see the README);
// tests change it directly. The server is single-threaded, as P3's automation
// interface is to its one caller.

#include "p3link/Automation.h"

#include <QString>
#include <QStringList>
#include <QVariantList>

#include <map>
#include <vector>

namespace orvane::p3sim {

struct Settings {
    // Folder that CurrentProjectPath names when a session starts; its
    // "p3users.json", if any, is the server's users list.
    QString projectsFolder;
    // Users list to use instead of the projects folder's "p3users.json".
    QString usersFile;
    // A user already signed in when a session starts (P3 running with a user).
    bool hasCurrentUser = false;
    QString currentUser;
    // What CurrentUser returns when nobody is signed in: an empty variant
    // (false) or a null object reference (true).
    bool noUserAsNullObject = false;
    // Creating a session fails, as on a machine without P3.
    bool unavailable = false;
    // Flush each committed activity to the disk (fdatasync) before Update returns.
    bool syncEachUpdate = false;
    // Appends every call, one line each, to this file (empty: no file).
    QString callLogFile;

    static Settings fromEnvironment();
};

struct CallRecord {
    QString object;     // kind of the object called: "Session", "Activity", ...
    QString member;
    QVariantList args;  // for an assignment: the value assigned
    bool isPut = false;

    // "Session.Login(\"PLANNER\", \"SCHEDULE\", false)", "Log.Text = \"x\"".
    QString toString() const;
};

class Control {
public:
    Settings settings;

    // --- faults --------------------------------------------------------
    // The nth call (1-based, counted from now) of the member fails with
    // message. member is "Name" or "Kind.Name"; an assignment is named with
    // a trailing "=" ("Text=", "Log.SequenceNumber=").
    void failOn(const QString& member, int nth, const QString& message);
    // Drops every fault set with failOn or addFaults' fail entries.
    void clearFaults() { m_rules.clear(); }
    // OpenProject returns an empty variant instead of the project.
    bool openProjectReturnsEmpty = false;
    // Activities cursors stop this many activities before Count.
    int activitiesCursorShortBy = 0;
    // The first Login with flag false fails with this message (empty: off).
    QString firstFalseLoginFailure;
    // Every Logout fails with this message (empty: off).
    QString logoutFailure;
    // Parses a fault list in the P3SIM_FAULTS syntax and adds it.
    // Throws std::invalid_argument on a malformed entry.
    void addFaults(const QString& spec);

    // --- call log ------------------------------------------------------
    bool recordCalls = false;
    const std::vector<CallRecord>& calls() const { return m_calls; }
    QStringList callLines() const;
    // Calls of a member, named as for failOn ("Login", "Session.Login", "Text=").
    int callCount(const QString& member) const;
    void clearCalls() { m_calls.clear(); }

    // Back to the environment's settings and faults; empties the call log.
    void reset();

    // True when calls must go through noteCall (call log or faults on).
    bool watchingCalls() const
    {
        return recordCalls || !settings.callLogFile.isEmpty() || !m_rules.empty();
    }
    // Used by the server objects on every call while watchingCalls().
    // Throws AutomationError when a fault fires.
    void noteCall(const QString& object, const QString& member, const QVariantList& args, bool isPut);
    bool firstFalseLoginPending() const { return !m_falseLoginUsed && !firstFalseLoginFailure.isEmpty(); }
    void consumeFalseLogin() { m_falseLoginUsed = true; }

private:
    struct Rule {
        QString member;
        int nth = 0;
        QString message;
        int seen = 0;
    };
    std::vector<Rule> m_rules;
    std::vector<CallRecord> m_calls;
    bool m_falseLoginUsed = false;
};

// The process-wide control object (created from the environment on first use).
Control& control();

// Creates a session object. Throws AutomationError when the server is
// configured as unavailable.
p3link::ObjectRef createSession();

// Writes every pending change of the projects this process has open into
// their project files (compaction). Sessions do this on CloseProject, Logout
// and when released; exposed for tools and tests.
void flushAll();

} // namespace orvane::p3sim

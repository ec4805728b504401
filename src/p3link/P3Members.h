#pragma once
// Every P3 automation member Orvane uses, declared once. The rest of the code
// names members only through these constants, so a member's spelling lives in
// one place and the list below says exactly what Orvane needs from a server.

#include "store/ActivityLayout.h"

#include <QString>

#include <array>
#include <vector>

namespace orvane::p3link {

// A member name. A distinct type, so that calls cannot be made with a
// free-typed string.
struct Member {
    QString name;
};

namespace member {
// Session
inline const Member CurrentUser{QStringLiteral("CurrentUser")};
inline const Member Login{QStringLiteral("Login")};
inline const Member Logout{QStringLiteral("Logout")};
inline const Member CurrentProjectPath{QStringLiteral("CurrentProjectPath")};
inline const Member ProjectAbstracts{QStringLiteral("ProjectAbstracts")};
inline const Member OpenProject{QStringLiteral("OpenProject")};
inline const Member CloseProject{QStringLiteral("CloseProject")};
// Collections and cursors
inline const Member NewCursor{QStringLiteral("NewCursor")};
inline const Member Count{QStringLiteral("Count")};
inline const Member GetFirst{QStringLiteral("GetFirst")};
inline const Member GetNext{QStringLiteral("GetNext")};
// Project abstracts
inline const Member ProjectGroupName{QStringLiteral("ProjectGroupName")};
inline const Member ProjectName{QStringLiteral("ProjectName")};
inline const Member Title{QStringLiteral("Title")};
// Project
inline const Member Filters{QStringLiteral("Filters")};
inline const Member ActivityCodes{QStringLiteral("ActivityCodes")};
inline const Member Activities{QStringLiteral("Activities")};
inline const Member ApplyFilter{QStringLiteral("ApplyFilter")};
// Filter
inline const Member ID{QStringLiteral("ID")};
// Activity code (project) and code value (activity)
inline const Member Name{QStringLiteral("Name")};
inline const Member Value{QStringLiteral("Value")};
// Activity (the data members are listed in activityDataMembers())
inline const Member ActivityID{QStringLiteral("ActivityID")};
inline const Member Description{QStringLiteral("Description")};
inline const Member ActivityLogs{QStringLiteral("ActivityLogs")};
// Activities
inline const Member Update{QStringLiteral("Update")};
// ActivityLogs
inline const Member NewItem{QStringLiteral("NewItem")};
inline const Member Add{QStringLiteral("Add")};
inline const Member Remove{QStringLiteral("Remove")};
// Log
inline const Member SequenceNumber{QStringLiteral("SequenceNumber")};
inline const Member Text{QStringLiteral("Text")};
} // namespace member

inline constexpr int kActivityDataMemberCount = store::kDataColumnCount;

// The activity members the import reads: the local table's data columns,
// in their order, each named as its column.
const std::array<Member, kActivityDataMemberCount>& activityDataMembers();

// How Orvane uses a member.
enum class MemberAccess { Get, Put, Call };

struct MemberUse {
    const char* objectKind;   // "Session", "Collection", "Activity", ...
    QString member;
    MemberAccess access;
};

// Every (object kind, member, access) Orvane relies on. Used to check that a
// backend serves all of them.
const std::vector<MemberUse>& membersUsed();

} // namespace orvane::p3link

#include "p3link/P3Members.h"

#include "store/ActivityLayout.h"

namespace orvane::p3link {

const std::array<Member, kActivityDataMemberCount>& activityDataMembers()
{
    // The table's data columns bear the names of the members they hold.
    static const std::array<Member, kActivityDataMemberCount> members = [] {
        std::array<Member, kActivityDataMemberCount> m;
        for (int column = 0; column < kActivityDataMemberCount; ++column)
            m[size_t(column)] = {store::fieldName(column)};
        return m;
    }();
    return members;
}

const std::vector<MemberUse>& membersUsed()
{
    static const std::vector<MemberUse> uses = [] {
        using A = MemberAccess;
        namespace m = member;
        std::vector<MemberUse> u = {
            {"Session", m::CurrentUser.name, A::Get},
            {"Session", m::Login.name, A::Call},
            {"Session", m::Logout.name, A::Call},
            {"Session", m::CurrentProjectPath.name, A::Get},
            {"Session", m::CurrentProjectPath.name, A::Put},
            {"Session", m::ProjectAbstracts.name, A::Get},
            {"Session", m::OpenProject.name, A::Call},
            {"Session", m::CloseProject.name, A::Call},
            {"Collection", m::NewCursor.name, A::Call},
            {"Collection", m::Count.name, A::Get},
            {"Cursor", m::GetFirst.name, A::Call},
            {"Cursor", m::GetNext.name, A::Call},
            {"ProjectAbstract", m::ProjectGroupName.name, A::Get},
            {"ProjectAbstract", m::ProjectName.name, A::Get},
            {"ProjectAbstract", m::Title.name, A::Get},
            {"Project", m::Filters.name, A::Get},
            {"Project", m::ActivityCodes.name, A::Get},
            {"Project", m::Activities.name, A::Get},
            {"Project", m::ApplyFilter.name, A::Call},
            {"Filter", m::ID.name, A::Get},
            {"Filter", m::Title.name, A::Get},
            {"ActivityCode", m::Name.name, A::Get},
            {"ActivityCodeValue", m::Value.name, A::Get},
            {"Activity", m::Description.name, A::Put},
            {"Activity", m::ActivityCodes.name, A::Get},
            {"Activity", m::ActivityLogs.name, A::Get},
            {"Activities", m::Update.name, A::Call},
            {"ActivityLogs", m::NewItem.name, A::Call},
            {"ActivityLogs", m::Add.name, A::Call},
            {"ActivityLogs", m::Remove.name, A::Call},
            {"Log", m::SequenceNumber.name, A::Get},
            {"Log", m::SequenceNumber.name, A::Put},
            {"Log", m::Text.name, A::Get},
            {"Log", m::Text.name, A::Put},
        };
        for (const Member& data : activityDataMembers())
            u.push_back({"Activity", data.name, A::Get});
        return u;
    }();
    return uses;
}

} // namespace orvane::p3link

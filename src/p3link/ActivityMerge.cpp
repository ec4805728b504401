#include "p3link/ActivityMerge.h"

#include "store/TextMerge.h"

namespace orvane::p3link {

using store::TextMerge;

namespace {

// The decision for one field. An empty local description stands for "not
// changed here": P3's description is never cleared by a save.
TextMerge decide(int field, const store::ActivityTexts* base, const store::ActivityTexts& local,
                 const store::ActivityTexts& p3)
{
    const QString& mine = local.fields[size_t(field)];
    const QString& theirs = p3.fields[size_t(field)];
    if (field == 0 && mine.isEmpty())
        return base ? store::mergeText(base->description(), base->description(), theirs) : TextMerge::Unchanged;
    if (!base)
        return store::sameText(mine, theirs) ? TextMerge::Unchanged : TextMerge::OursChanged;
    return store::mergeText(base->fields[size_t(field)], mine, theirs);
}

} // namespace

ActivityMerge mergeActivity(const store::ActivityTexts* base, const store::ActivityTexts& local,
                            const store::ActivityTexts& p3, const std::function<bool(int field)>& overwrite)
{
    ActivityMerge merge;
    merge.target = p3;
    for (int field = 0; field < store::kTextFieldCount; ++field) {
        const QString& mine = local.fields[size_t(field)];
        switch (decide(field, base, local, p3)) {
        case TextMerge::Unchanged:
            break;
        case TextMerge::OursChanged:
            merge.target.fields[size_t(field)] = mine;
            merge.written.push_back(field);
            break;
        case TextMerge::TheirsChanged:
            merge.taken.push_back(field);
            break;
        case TextMerge::BothSame:
            merge.settled.push_back(field);
            break;
        case TextMerge::Conflict:
            if (overwrite && overwrite(field)) {
                merge.target.fields[size_t(field)] = mine;
                merge.overwritten.push_back(field);
            } else {
                merge.conflicts.push_back(field);
            }
            break;
        }
    }
    merge.descriptionChanges = !store::sameText(merge.target.description(), p3.description());
    for (int n = 1; n <= store::kLogCount && !merge.logsChange; ++n)
        merge.logsChange = !store::sameText(merge.target.log(n), p3.log(n));
    return merge;
}

} // namespace orvane::p3link

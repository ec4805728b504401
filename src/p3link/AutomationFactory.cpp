#include "p3link/AutomationFactory.h"

#include <map>

namespace orvane::p3link {

namespace {

using CreatorTable = std::map<QString, ObjectCreator>;

// Function-local statics: backends register from static constructors of
// other translation units, whose order is not defined.
CreatorTable& backends()
{
    static CreatorTable creators;
    return creators;
}

CreatorTable& overrides()
{
    static CreatorTable creators;
    return creators;
}

ObjectCreator lookup(const CreatorTable& table, const QString& progId)
{
    const auto it = table.find(progId);
    return it != table.end() ? it->second : ObjectCreator();
}

} // namespace

P3Object createAutomationObject(const QString& progId)
{
    ObjectCreator creator = lookup(overrides(), progId);
    if (!creator)
        creator = lookup(backends(), progId);
    if (!creator)
        throw AutomationError(QStringLiteral("Invalid class string"));
    ObjectRef object = creator();
    if (!object)
        throw AutomationError(QStringLiteral("Invalid class string"));
    return P3Object(std::move(object));
}

void registerAutomationBackend(const QString& progId, ObjectCreator creator)
{
    backends()[progId] = std::move(creator);
}

ObjectCreator setAutomationCreator(const QString& progId, ObjectCreator creator)
{
    ObjectCreator previous = lookup(overrides(), progId);
    if (creator)
        overrides()[progId] = std::move(creator);
    else
        overrides().erase(progId);
    return previous;
}

} // namespace orvane::p3link

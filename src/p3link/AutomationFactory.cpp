#include "p3link/AutomationFactory.h"

#include "p3sim/Server.h"

#include <map>

namespace orvane::p3link {

namespace {

ObjectCreator defaultCreator(const QString& progId)
{
    if (progId == kP3SessionProgId)
        return [] { return p3sim::createSession(); };
    return {};
}

std::map<QString, ObjectCreator>& overrides()
{
    static std::map<QString, ObjectCreator> creators;
    return creators;
}

} // namespace

P3Object createAutomationObject(const QString& progId)
{
    ObjectCreator creator;
    if (auto it = overrides().find(progId); it != overrides().end())
        creator = it->second;
    else
        creator = defaultCreator(progId);
    if (!creator)
        throw AutomationError(QStringLiteral("Invalid class string"));
    ObjectRef object = creator();
    if (!object)
        throw AutomationError(QStringLiteral("Invalid class string"));
    return P3Object(std::move(object));
}

ObjectCreator setAutomationCreator(const QString& progId, ObjectCreator creator)
{
    ObjectCreator previous;
    if (auto it = overrides().find(progId); it != overrides().end())
        previous = it->second;
    if (creator)
        overrides()[progId] = std::move(creator);
    else
        overrides().erase(progId);
    return previous;
}

} // namespace orvane::p3link

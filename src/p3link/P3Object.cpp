#include "p3link/P3Object.h"

#include <QDateTime>
#include <QLocale>

namespace orvane::p3link {

namespace {

[[noreturn]] void missingObject(const Member& member)
{
    throw AutomationError(QStringLiteral("Object required to call %1").arg(member.name));
}

} // namespace

QVariant P3Object::invoke(const Member& member, const QVariantList& args) const
{
    if (!m_object)
        missingObject(member);
    return m_object->invoke(member.name, args);
}

void P3Object::put(const Member& member, const QVariant& value) const
{
    if (!m_object)
        missingObject(member);
    m_object->put(member.name, value);
}

QString P3Object::toText(const QVariant& value)
{
    if (isNothing(value))
        return QString();
    if (value.metaType() == QMetaType::fromType<ObjectRef>())
        throw AutomationError(QStringLiteral("Type mismatch."));
    if (value.metaType() == QMetaType::fromType<QDateTime>())
        return QLocale().toString(value.toDateTime(), QLocale::ShortFormat);
    return value.toString();
}

int P3Object::toInteger(const QVariant& value, const Member& member)
{
    bool ok = false;
    const int n = value.metaType() == QMetaType::fromType<ObjectRef>() ? 0 : value.toInt(&ok);
    if (!ok)
        throw AutomationError(QStringLiteral("Type mismatch: %1 is not a number.").arg(member.name));
    return n;
}

P3Cursor::P3Cursor(const P3Object& collection)
    : m_cursor(collection.object(member::NewCursor))
{
}

P3Object P3Cursor::first() const
{
    return m_cursor.object(member::GetFirst);
}

P3Object P3Cursor::next() const
{
    return m_cursor.object(member::GetNext);
}

} // namespace orvane::p3link

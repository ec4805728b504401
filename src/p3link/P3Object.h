#pragma once
// P3Object: a value holding one P3 automation object (or nothing), with the
// calls Orvane makes on it. Members are named only through P3Members.h.
//
// Typed reads convert what the server delivers the way late-bound callers
// do: text() turns any value into text (nothing gives ""), integer() takes
// any number. Calls on a P3Object that holds nothing throw AutomationError
// naming the member, as a call on a missing object does in a late-bound
// client.

#include "p3link/Automation.h"
#include "p3link/P3Members.h"

#include <QString>
#include <QVariant>

#include <utility>

namespace orvane::p3link {

class P3Object {
public:
    P3Object() = default;
    explicit P3Object(ObjectRef object) : m_object(std::move(object)) {}
    // The object a variant holds; a P3Object holding nothing otherwise.
    static P3Object fromVariant(const QVariant& value) { return P3Object(objectOf(value)); }

    bool isNull() const { return !m_object; }
    explicit operator bool() const { return bool(m_object); }
    const ObjectRef& ref() const { return m_object; }
    QVariant toVariant() const { return objectVariant(m_object); }
    void reset() { m_object.reset(); }

    // Reads a property or calls a method by name.
    QVariant invoke(const Member& member, const QVariantList& args = {}) const;
    template <class... Args>
    QVariant call(const Member& member, Args&&... args) const
    {
        return invoke(member, QVariantList{toArgument(std::forward<Args>(args))...});
    }
    QVariant get(const Member& member) const { return invoke(member); }
    void put(const Member& member, const QVariant& value) const;

    // Typed reads of zero-argument members.
    P3Object object(const Member& member) const { return fromVariant(get(member)); }
    QString text(const Member& member) const { return toText(get(member)); }
    int integer(const Member& member) const { return toInteger(get(member), member); }

    // Value conversions as used on delivered values.
    static QString toText(const QVariant& value);
    // Throws AutomationError ("Type mismatch.") when value is not a number.
    static int toInteger(const QVariant& value, const Member& member);

private:
    static QVariant toArgument(const P3Object& o) { return o.toVariant(); }
    static QVariant toArgument(const QVariant& v) { return v; }
    static QVariant toArgument(const QString& s) { return s; }
    static QVariant toArgument(const char* s) { return QString::fromUtf8(s); }
    static QVariant toArgument(bool b) { return b; }
    static QVariant toArgument(int n) { return n; }

    ObjectRef m_object;
};

// A cursor over a collection (NewCursor, GetFirst, GetNext). first() and
// next() return a P3Object holding nothing after the last element.
class P3Cursor {
public:
    explicit P3Cursor(const P3Object& collection);
    P3Object first() const;
    P3Object next() const;
    const P3Object& object() const { return m_cursor; }

private:
    P3Object m_cursor;
};

// Walks a collection with a new cursor from its first element until the
// cursor yields nothing, calling visit(element) for each. Returns the number
// of elements visited.
template <class Visit>
int forEachElement(const P3Object& collection, Visit&& visit)
{
    const P3Cursor cursor(collection);
    int n = 0;
    for (P3Object element = cursor.first(); !element.isNull(); element = cursor.next()) {
        visit(element);
        ++n;
    }
    return n;
}

} // namespace orvane::p3link

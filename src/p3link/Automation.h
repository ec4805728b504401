#pragma once
// The automation interface through which Orvane reaches P3.
//
// P3 is driven by late-bound calls: members are named by text at run time
// and take and return variants. An AutomationObject is one server object;
// objects travel inside variants as ObjectRef values, so a member may return
// another object and a method may take one as an argument.
//
// Backends implement AutomationObject: the simulated P3 server (p3sim) on
// every machine and in every test, a COM dispatch wrapper on Windows.
// A failing call throws orvane::AutomationError with the server's own text.
//
// Variant conventions shared by every backend:
//   empty (VT_EMPTY)      -> invalid QVariant()
//   null  (VT_NULL)       -> QVariant holding std::nullptr_t
//   object reference      -> QVariant holding ObjectRef (possibly a null pointer)
//   text / Boolean        -> QString / bool
//   integer / floating    -> int / double
//   date                  -> QDateTime (local time)

#include "common/Errors.h"

#include <QMetaType>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include <memory>

namespace orvane::p3link {

class AutomationObject {
public:
    virtual ~AutomationObject() = default;

    // Reads a property or calls a method. Late-bound callers do not tell the
    // two apart, so neither does the interface.
    virtual QVariant invoke(const QString& member, const QVariantList& args) = 0;
    // Assigns a property.
    virtual void put(const QString& member, const QVariant& value) = 0;
    // The object's kind ("Session", "Activity", ...) for diagnostics.
    virtual QString typeName() const = 0;
};

using ObjectRef = std::shared_ptr<AutomationObject>;

} // namespace orvane::p3link

Q_DECLARE_METATYPE(orvane::p3link::ObjectRef)

namespace orvane::p3link {

inline QVariant objectVariant(ObjectRef object)
{
    return QVariant::fromValue(std::move(object));
}

// The object a variant holds, or nullptr when it holds none.
inline ObjectRef objectOf(const QVariant& value)
{
    if (value.metaType() == QMetaType::fromType<ObjectRef>())
        return value.value<ObjectRef>();
    return nullptr;
}

inline QVariant nullVariant()
{
    return QVariant::fromValue(nullptr);
}

// True for an empty variant, a null variant and a null object reference:
// what P3 hands back for "nothing". Any other value, an empty text included,
// is something.
inline bool isNothing(const QVariant& value)
{
    if (!value.isValid())
        return true;
    const QMetaType type = value.metaType();
    if (type == QMetaType::fromType<std::nullptr_t>())
        return true;
    if (type == QMetaType::fromType<ObjectRef>())
        return !value.value<ObjectRef>();
    return false;
}

} // namespace orvane::p3link

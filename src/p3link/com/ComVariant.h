#pragma once
// COM VARIANTs to and from Orvane's automation values (see
// p3link/Automation.h for the value conventions). Windows only.
//
// Objects cross as IDispatch pointers; what an IDispatch becomes on this
// side, and which IDispatch an ObjectRef becomes on the other, differs
// between a client (wraps the server's objects) and a server (hands out its
// own), so the caller supplies both through a DispatchBridge.

#include "p3link/Automation.h"

#include <QDateTime>
#include <QString>
#include <QVariant>

#include <functional>

#include <windows.h>
#include <oleauto.h>

namespace orvane::p3link::com {

struct DispatchBridge {
    // The object for an IDispatch the other side handed over (never null;
    // a null IDispatch becomes a null ObjectRef without asking).
    std::function<ObjectRef(IDispatch*)> wrap;
    // An IDispatch (AddRef'ed) for one of this side's objects (never null).
    // Throws AutomationError when the object cannot cross.
    std::function<IDispatch*(const ObjectRef&)> unwrap;
};

// Owns one VARIANT; cleared on destruction.
class Variant {
public:
    Variant() { VariantInit(&m_value); }
    ~Variant() { VariantClear(&m_value); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT* get() { return &m_value; }
    const VARIANT& value() const { return m_value; }

private:
    VARIANT m_value;
};

// The value a VARIANT holds: texts, 8- to 32-bit integers (int), 64-bit
// integers (qlonglong), single, double, currency and decimal (double),
// dates (QDateTime, local), booleans, objects (through bridge), empty and
// null. By-reference variants are read through. Throws AutomationError
// ("Type mismatch.") for what has no value here (arrays, records).
QVariant fromVariant(const VARIANT& value, const DispatchBridge& bridge);

// Writes value into out, which must hold VT_EMPTY (freshly initialised or
// cleared). Throws AutomationError ("Type mismatch.") for a value that has
// no VARIANT form.
void toVariant(const QVariant& value, VARIANT* out, const DispatchBridge& bridge);

// OLE automation dates: days since 30 December 1899 (local time), the
// fraction being the time of day; before that day the fraction still counts
// forward from midnight (-1.25 is 29 December 1899, 06:00).
QDateTime fromOleDate(double date);
double toOleDate(const QDateTime& dateTime);

// The system's text for an HRESULT, without the trailing line break; a
// fixed text naming the code when the system has none.
QString errorText(HRESULT result);

// A BSTR as text (null BSTR: empty text).
QString fromBstr(BSTR text);
// A new BSTR holding text; the caller frees it with SysFreeString.
BSTR toBstr(const QString& text);

} // namespace orvane::p3link::com

#include "p3link/com/ComVariant.h"

#include <cmath>
#include <limits>

namespace orvane::p3link::com {

namespace {

[[noreturn]] void typeMismatch()
{
    throw AutomationError(QStringLiteral("Type mismatch."));
}

const QDate kOleEpoch(1899, 12, 30);
constexpr double kMsPerDay = 86400000.0;

// Reads one non-reference VARIANT of a plain type.
QVariant plainValue(const VARIANT& v, const DispatchBridge& bridge)
{
    switch (V_VT(&v)) {
    case VT_EMPTY:
        return QVariant();
    case VT_NULL:
        return nullVariant();
    case VT_BSTR:
        return fromBstr(V_BSTR(&v));
    case VT_BOOL:
        return V_BOOL(&v) != VARIANT_FALSE;
    case VT_I1:
        return int(V_I1(&v));
    case VT_UI1:
        return int(V_UI1(&v));
    case VT_I2:
        return int(V_I2(&v));
    case VT_UI2:
        return int(V_UI2(&v));
    case VT_I4:
        return int(V_I4(&v));
    case VT_INT:
        return int(V_INT(&v));
    case VT_UI4:
        return V_UI4(&v) <= unsigned(std::numeric_limits<int>::max()) ? QVariant(int(V_UI4(&v)))
                                                                         : QVariant(qlonglong(V_UI4(&v)));
    case VT_UINT:
        return V_UINT(&v) <= unsigned(std::numeric_limits<int>::max()) ? QVariant(int(V_UINT(&v)))
                                                                          : QVariant(qlonglong(V_UINT(&v)));
    case VT_I8:
        return qlonglong(V_I8(&v));
    case VT_R4:
        return double(V_R4(&v));
    case VT_R8:
        return V_R8(&v);
    case VT_CY:
        // Currency is a count of ten-thousandths.
        return double(V_CY(&v).int64) / 10000.0;
    case VT_DECIMAL: {
        double d = 0;
        DECIMAL decimal = V_DECIMAL(&v);
        if (FAILED(VarR8FromDec(&decimal, &d)))
            typeMismatch();
        return d;
    }
    case VT_DATE:
        return fromOleDate(V_DATE(&v));
    case VT_ERROR:
        // A missing optional argument: no value.
        return QVariant();
    case VT_DISPATCH:
        if (!V_DISPATCH(&v))
            return objectVariant(nullptr);
        return objectVariant(bridge.wrap(V_DISPATCH(&v)));
    case VT_UNKNOWN: {
        IUnknown* unknown = V_UNKNOWN(&v);
        if (!unknown)
            return objectVariant(nullptr);
        IDispatch* dispatch = nullptr;
        if (FAILED(unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))) || !dispatch)
            typeMismatch();
        ObjectRef object = bridge.wrap(dispatch);
        dispatch->Release();
        return objectVariant(std::move(object));
    }
    default:
        typeMismatch();
    }
}

} // namespace

QVariant fromVariant(const VARIANT& value, const DispatchBridge& bridge)
{
    if (!(V_VT(&value) & VT_BYREF))
        return plainValue(value, bridge);
    Variant direct;
    if (FAILED(VariantCopyInd(direct.get(), const_cast<VARIANT*>(&value))))
        typeMismatch();
    return plainValue(direct.value(), bridge);
}

void toVariant(const QVariant& value, VARIANT* out, const DispatchBridge& bridge)
{
    if (!value.isValid()) {
        V_VT(out) = VT_EMPTY;
        return;
    }
    const QMetaType type = value.metaType();
    if (type == QMetaType::fromType<std::nullptr_t>()) {
        V_VT(out) = VT_NULL;
        return;
    }
    if (type == QMetaType::fromType<ObjectRef>()) {
        const ObjectRef object = value.value<ObjectRef>();
        IDispatch* dispatch = object ? bridge.unwrap(object) : nullptr;
        V_VT(out) = VT_DISPATCH;
        V_DISPATCH(out) = dispatch;
        return;
    }
    switch (type.id()) {
    case QMetaType::QString:
        V_VT(out) = VT_BSTR;
        V_BSTR(out) = toBstr(value.toString());
        return;
    case QMetaType::Bool:
        V_VT(out) = VT_BOOL;
        V_BOOL(out) = value.toBool() ? VARIANT_TRUE : VARIANT_FALSE;
        return;
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        V_VT(out) = VT_I2;
        V_I2(out) = SHORT(value.toInt());
        return;
    case QMetaType::Int:
        V_VT(out) = VT_I4;
        V_I4(out) = LONG(value.toInt());
        return;
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong: {
        const qlonglong n = value.toLongLong();
        if (n >= std::numeric_limits<LONG>::min() && n <= std::numeric_limits<LONG>::max()) {
            V_VT(out) = VT_I4;
            V_I4(out) = LONG(n);
        } else {
            V_VT(out) = VT_R8;
            V_R8(out) = double(n);
        }
        return;
    }
    case QMetaType::Float:
        V_VT(out) = VT_R4;
        V_R4(out) = value.toFloat();
        return;
    case QMetaType::Double:
        V_VT(out) = VT_R8;
        V_R8(out) = value.toDouble();
        return;
    case QMetaType::QDateTime:
        V_VT(out) = VT_DATE;
        V_DATE(out) = toOleDate(value.toDateTime());
        return;
    case QMetaType::QDate:
        V_VT(out) = VT_DATE;
        V_DATE(out) = toOleDate(value.toDate().startOfDay());
        return;
    default:
        typeMismatch();
    }
}

QDateTime fromOleDate(double date)
{
    const double whole = std::trunc(date);
    qint64 ms = std::llround(std::fabs(date - whole) * kMsPerDay);
    QDate day = kOleEpoch.addDays(qint64(whole));
    if (ms >= qint64(kMsPerDay)) {
        ms -= qint64(kMsPerDay);
        day = day.addDays(1);
    }
    // The wall-clock time of that day, as the number says, also across a
    // daylight-saving change.
    return QDateTime(day, QTime::fromMSecsSinceStartOfDay(int(ms)));
}

double toOleDate(const QDateTime& dateTime)
{
    const QDateTime local = dateTime.toLocalTime();
    const double days = double(kOleEpoch.daysTo(local.date()));
    const double fraction = double(local.time().msecsSinceStartOfDay()) / kMsPerDay;
    return days >= 0 ? days + fraction : days - fraction;
}

QString errorText(HRESULT result)
{
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                            | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, DWORD(result), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    QString text;
    if (length > 0 && buffer)
        text = QString::fromWCharArray(buffer, int(length)).trimmed();
    if (buffer)
        LocalFree(buffer);
    if (text.isEmpty())
        text = QStringLiteral("Automation error 0x")
               + QString::number(quint32(result), 16).toUpper().rightJustified(8, QLatin1Char('0'));
    return text;
}

QString fromBstr(BSTR text)
{
    if (!text)
        return QString();
    return QString::fromWCharArray(text, int(SysStringLen(text)));
}

BSTR toBstr(const QString& text)
{
    return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.utf16()), UINT(text.size()));
}

} // namespace orvane::p3link::com

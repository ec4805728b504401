#include "p3link/com/ComAutomation.h"

#include "p3link/com/ComVariant.h"

#include <memory>
#include <vector>

namespace orvane::p3link::com {

namespace {

const DispatchBridge& clientBridge()
{
    static const DispatchBridge bridge{
        [](IDispatch* dispatch) -> ObjectRef { return std::make_shared<DispatchObject>(dispatch); },
        [](const ObjectRef& object) -> IDispatch* {
            // Only the server's own objects can go back to it.
            const auto* mine = dynamic_cast<const DispatchObject*>(object.get());
            if (!mine)
                throw AutomationError(QStringLiteral("Type mismatch."));
            mine->dispatch()->AddRef();
            return mine->dispatch();
        }};
    return bridge;
}

// The text of a failed call: the server's own description when it raised
// an exception with one, else the system's text for the code.
QString failureText(HRESULT result, EXCEPINFO& info)
{
    if (result == DISP_E_EXCEPTION && info.pfnDeferredFillIn)
        info.pfnDeferredFillIn(&info);
    QString text;
    if (result == DISP_E_EXCEPTION) {
        text = fromBstr(info.bstrDescription);
        if (text.isEmpty())
            text = errorText(info.scode ? info.scode : HRESULT(info.wCode ? E_FAIL : result));
    } else {
        text = errorText(result);
    }
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    return text;
}

} // namespace

void startCom()
{
    static const bool started = [] {
        // S_FALSE (already started) and RPC_E_CHANGED_MODE (started in the
        // other apartment model) both leave COM usable on this thread.
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        return true;
    }();
    (void)started;
}

ObjectRef createObject(const QString& progId)
{
    startCom();
    CLSID clsid;
    const std::wstring name = progId.toStdWString();
    HRESULT result = CLSIDFromProgID(name.c_str(), &clsid);
    if (FAILED(result))
        throw AutomationError(errorText(result));
    IDispatch* dispatch = nullptr;
    result = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                              reinterpret_cast<void**>(&dispatch));
    if (FAILED(result) || !dispatch)
        throw AutomationError(errorText(FAILED(result) ? result : E_NOINTERFACE));
    auto object = std::make_shared<DispatchObject>(dispatch);
    dispatch->Release();
    return object;
}

DispatchObject::DispatchObject(IDispatch* dispatch)
    : m_dispatch(dispatch)
{
    m_dispatch->AddRef();
}

DispatchObject::~DispatchObject()
{
    m_dispatch->Release();
}

DISPID DispatchObject::memberId(const QString& member) const
{
    std::wstring name = member.toStdWString();
    LPOLESTR names[] = {name.data()};
    DISPID id = DISPID_UNKNOWN;
    const HRESULT result = m_dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(result))
        throw AutomationError(errorText(result));
    return id;
}

QVariant DispatchObject::call(const QString& member, WORD flags, const QVariantList& args)
{
    const DISPID id = memberId(member);
    // IDispatch takes the arguments last to first.
    std::vector<Variant> values(size_t(args.size()));
    for (qsizetype i = 0; i < args.size(); ++i)
        toVariant(args.at(i), values[size_t(args.size() - 1 - i)].get(), clientBridge());
    std::vector<VARIANT> raw;
    raw.reserve(values.size());
    for (Variant& v : values)
        raw.push_back(*v.get());

    DISPID namedPut = DISPID_PROPERTYPUT;
    DISPPARAMS params{};
    params.rgvarg = raw.empty() ? nullptr : raw.data();
    params.cArgs = UINT(raw.size());
    if (flags & DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &namedPut;
        params.cNamedArgs = 1;
    }
    Variant result;
    EXCEPINFO info{};
    UINT argError = 0;
    const HRESULT hr = m_dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                          (flags & DISPATCH_PROPERTYPUT) ? nullptr : result.get(), &info, &argError);
    if (FAILED(hr))
        throw AutomationError(failureText(hr, info));
    return fromVariant(result.value(), clientBridge());
}

QVariant DispatchObject::invoke(const QString& member, const QVariantList& args)
{
    // A late-bound caller does not know whether a name is a property or a
    // method, so it asks for either.
    return call(member, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args);
}

void DispatchObject::put(const QString& member, const QVariant& value)
{
    call(member, DISPATCH_PROPERTYPUT, {value});
}

QString DispatchObject::typeName() const
{
    ITypeInfo* info = nullptr;
    QString name = QStringLiteral("Object");
    if (SUCCEEDED(m_dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info)) && info) {
        BSTR text = nullptr;
        if (SUCCEEDED(info->GetDocumentation(MEMBERID_NIL, &text, nullptr, nullptr, nullptr)) && text)
            name = fromBstr(text);
        SysFreeString(text);
        info->Release();
    }
    return name;
}

} // namespace orvane::p3link::com

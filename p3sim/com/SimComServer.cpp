// The simulated P3 server as an in-process COM server: class "P3Session",
// whose objects answer IDispatch calls by name with the simulator's objects.
// For tests on Windows (and Wine): registered with regsvr32, it lets Orvane's
// COM backend reach "P3" exactly as on a machine with P3.

#include "p3link/com/ComVariant.h"
#include "p3sim/Server.h"

#include <QString>

#include <atomic>
#include <map>
#include <mutex>
#include <vector>

#include <windows.h>
#include <olectl.h>

namespace orvane::p3sim::com {

namespace {

using namespace orvane::p3link::com;
using orvane::p3link::ObjectRef;

// {A65DE415-4A2E-4376-B15B-91BFAF86CF60}
const CLSID kSessionClassId = {0xa65de415, 0x4a2e, 0x4376, {0xb1, 0x5b, 0x91, 0xbf, 0xaf, 0x86, 0xcf, 0x60}};
const wchar_t kSessionClassIdText[] = L"{A65DE415-4A2E-4376-B15B-91BFAF86CF60}";
const wchar_t kProgId[] = L"P3Session";
// Private interface through which a server object recognises its own
// objects coming back as arguments.
// {F93F6253-1407-4B6C-8595-0AE0DF9FF7FE}
const IID kAdapterIid = {0xf93f6253, 0x1407, 0x4b6c, {0x85, 0x95, 0x0a, 0xe0, 0xdf, 0x9f, 0xf7, 0xfe}};

HMODULE g_module = nullptr;
std::atomic<long> g_liveObjects{0};

// Member names get process-wide DISPIDs; names match case-insensitively,
// as late-bound callers expect. The simulator is called with the spelling
// first seen.
class NameTable {
public:
    DISPID idOf(const QString& name)
    {
        const std::lock_guard lock(m_mutex);
        const QString key = name.toLower();
        if (const auto it = m_ids.find(key); it != m_ids.end())
            return it->second;
        m_names.push_back(name);
        const DISPID id = DISPID(m_names.size());
        m_ids.emplace(key, id);
        return id;
    }
    bool nameOf(DISPID id, QString* name)
    {
        const std::lock_guard lock(m_mutex);
        if (id < 1 || size_t(id) > m_names.size())
            return false;
        *name = m_names[size_t(id) - 1];
        return true;
    }

private:
    std::mutex m_mutex;
    std::map<QString, DISPID> m_ids;
    std::vector<QString> m_names;
};

NameTable& names()
{
    static NameTable table;
    return table;
}

class Adapter;
const DispatchBridge& serverBridge();

// One simulator object served through IDispatch.
class Adapter : public IDispatch {
public:
    explicit Adapter(ObjectRef object) : m_object(std::move(object)) { ++g_liveObjects; }
    virtual ~Adapter() { --g_liveObjects; }

    const ObjectRef& object() const { return m_object; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, kAdapterIid)) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++m_refs); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const long left = --m_refs;
        if (left == 0)
            delete this;
        return ULONG(left);
    }

    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override
    {
        if (info)
            *info = nullptr;
        return DISP_E_BADINDEX;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* nameList, UINT count, LCID, DISPID* ids) override
    {
        if (!nameList || !ids)
            return E_POINTER;
        // Named arguments are not used by the simulator's members.
        for (UINT i = 0; i < count; ++i)
            ids[i] = i == 0 ? names().idOf(QString::fromWCharArray(nameList[0])) : DISPID_UNKNOWN;
        return count > 1 ? DISP_E_UNKNOWNNAME : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT* argError) override
    {
        QString member;
        if (!names().nameOf(id, &member))
            return DISP_E_MEMBERNOTFOUND;
        const UINT count = params ? params->cArgs : 0;
        try {
            QVariantList args;
            for (UINT i = 0; i < count; ++i) {
                if (argError)
                    *argError = count - 1 - i;
                args.push_back(fromVariant(params->rgvarg[count - 1 - i], serverBridge()));
            }
            if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
                if (args.size() != 1)
                    return DISP_E_BADPARAMCOUNT;
                m_object->put(member, args.first());
                return S_OK;
            }
            const QVariant value = m_object->invoke(member, args);
            if (result) {
                VariantInit(result);
                toVariant(value, result, serverBridge());
            }
            return S_OK;
        } catch (const OrvaneError& e) {
            return raise(exception, e.message());
        } catch (const std::exception& e) {
            return raise(exception, QString::fromUtf8(e.what()));
        }
    }

private:
    // Hands the failure to the caller the way automation servers do: as an
    // exception whose description is the server's message.
    static HRESULT raise(EXCEPINFO* exception, const QString& message)
    {
        if (!exception)
            return E_FAIL;
        *exception = EXCEPINFO{};
        exception->bstrSource = SysAllocString(kProgId);
        exception->bstrDescription = toBstr(message);
        exception->scode = E_FAIL;
        return DISP_E_EXCEPTION;
    }

    std::atomic<long> m_refs{1};
    ObjectRef m_object;
};

const DispatchBridge& serverBridge()
{
    static const DispatchBridge bridge{
        [](IDispatch* dispatch) -> ObjectRef {
            // Only objects this server handed out can come back.
            void* mine = nullptr;
            if (FAILED(dispatch->QueryInterface(kAdapterIid, &mine)) || !mine)
                throw AutomationError(QStringLiteral("Type mismatch."));
            auto* adapter = static_cast<Adapter*>(static_cast<IDispatch*>(mine));
            ObjectRef object = adapter->object();
            adapter->Release();
            return object;
        },
        [](const ObjectRef& object) -> IDispatch* { return new Adapter(object); }};
    return bridge;
}

class SessionFactory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // The factory is a static object: its count does not matter.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        ObjectRef session;
        try {
            session = p3sim::createSession();
        } catch (const std::exception&) {
            // As a class that cannot start: the caller reports the code.
            return CO_E_SERVER_EXEC_FAILURE;
        }
        auto* adapter = new Adapter(std::move(session));
        const HRESULT result = adapter->QueryInterface(iid, out);
        adapter->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

SessionFactory g_factory;

bool setKey(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG result = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                       DWORD((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

std::wstring modulePath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(g_module, path.data(), DWORD(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

} // namespace

} // namespace orvane::p3sim::com

using namespace orvane::p3sim::com;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!IsEqualCLSID(clsid, kSessionClassId))
        return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(iid, out);
}

STDAPI DllCanUnloadNow()
{
    // Qt lives inside this library and is not made to be unloaded.
    return S_FALSE;
}

STDAPI DllRegisterServer()
{
    const std::wstring clsidKey = std::wstring(L"CLSID\\") + kSessionClassIdText;
    const bool ok = setKey(HKEY_CLASSES_ROOT, clsidKey, nullptr, L"Simulated P3 session")
                    && setKey(HKEY_CLASSES_ROOT, clsidKey + L"\\InprocServer32", nullptr, modulePath())
                    && setKey(HKEY_CLASSES_ROOT, clsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment")
                    && setKey(HKEY_CLASSES_ROOT, clsidKey + L"\\ProgID", nullptr, kProgId)
                    && setKey(HKEY_CLASSES_ROOT, kProgId, nullptr, L"Simulated P3 session")
                    && setKey(HKEY_CLASSES_ROOT, std::wstring(kProgId) + L"\\CLSID", nullptr, kSessionClassIdText);
    return ok ? S_OK : SELFREG_E_CLASS;
}

STDAPI DllUnregisterServer()
{
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + kSessionClassIdText).c_str());
    return S_OK;
}

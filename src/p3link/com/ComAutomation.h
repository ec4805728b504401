#pragma once
// The COM backend of the automation interface (Windows only): objects made
// by ProgID and called late-bound by name through IDispatch.

#include "p3link/Automation.h"

#include <QString>

#include <windows.h>
#include <oaidl.h>

namespace orvane::p3link::com {

// Starts COM for the calling thread, once per process; later calls do
// nothing. A thread already started (as a GUI thread that uses OLE is)
// counts as started.
void startCom();

// Creates the object registered for progId and returns it as an automation
// object. Throws AutomationError with the system's text when the ProgID is
// not registered or the object cannot be created.
ObjectRef createObject(const QString& progId);

// An automation object served through IDispatch.
class DispatchObject : public AutomationObject {
public:
    // Takes a reference of its own on dispatch (not null).
    explicit DispatchObject(IDispatch* dispatch);
    ~DispatchObject() override;
    DispatchObject(const DispatchObject&) = delete;
    DispatchObject& operator=(const DispatchObject&) = delete;

    QVariant invoke(const QString& member, const QVariantList& args) override;
    void put(const QString& member, const QVariant& value) override;
    QString typeName() const override;

    IDispatch* dispatch() const { return m_dispatch; }

private:
    DISPID memberId(const QString& member) const;
    QVariant call(const QString& member, WORD flags, const QVariantList& args);

    IDispatch* m_dispatch;
};

} // namespace orvane::p3link::com

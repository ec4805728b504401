#pragma once
// Creation of automation objects by ProgID. Backends register the ProgIDs
// they serve: the simulated P3 server (p3sim_backend) on Linux and in the
// tests, the COM backend (orvane_p3link_com) on Windows. A program links the
// one it uses; p3link itself knows none of them.

#include "p3link/P3Object.h"

#include <QString>

#include <functional>

namespace orvane::p3link {

inline const QString kP3SessionProgId = QStringLiteral("P3Session");

using ObjectCreator = std::function<ObjectRef()>;

// Creates the object registered for progId. Throws AutomationError with the
// creator's text when it cannot be created, and "Invalid class string" for
// a ProgID nobody serves.
P3Object createAutomationObject(const QString& progId);

// Makes creator the backend's way to create progId. Called by a backend
// once, at start-up; a later registration replaces an earlier one.
void registerAutomationBackend(const QString& progId, ObjectCreator creator);

// Registers a backend while static objects are constructed:
//   const AutomationBackendRegistration reg(kP3SessionProgId, [] { ... });
struct AutomationBackendRegistration {
    AutomationBackendRegistration(const QString& progId, ObjectCreator creator)
    {
        registerAutomationBackend(progId, std::move(creator));
    }
};

// Puts creator in front of the registered backend for progId (an empty
// creator removes it again); returns the one it replaced. For tests.
ObjectCreator setAutomationCreator(const QString& progId, ObjectCreator creator);

} // namespace orvane::p3link

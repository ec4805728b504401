#pragma once
// Creation of automation objects by ProgID. On this platform "P3Session" is
// served by the simulated P3 server; a COM backend plugs in here on Windows.

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

// Replaces the creator of a ProgID (an empty creator restores the default);
// returns the one it replaced. For tests and alternative backends.
ObjectCreator setAutomationCreator(const QString& progId, ObjectCreator creator);

} // namespace orvane::p3link

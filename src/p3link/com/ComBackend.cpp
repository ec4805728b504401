// Serves "P3Session" with P3's own automation server through COM in the
// Windows programs.

#include "p3link/AutomationFactory.h"
#include "p3link/com/ComAutomation.h"

namespace {

const orvane::p3link::AutomationBackendRegistration registration(
    orvane::p3link::kP3SessionProgId, [] { return orvane::p3link::com::createObject(orvane::p3link::kP3SessionProgId); });

} // namespace

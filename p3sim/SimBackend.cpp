// Serves "P3Session" with the simulated server in the programs that link
// this object library (Orvane on Linux, the tests).

#include "p3link/AutomationFactory.h"
#include "p3sim/Server.h"

namespace {

const orvane::p3link::AutomationBackendRegistration registration(orvane::p3link::kP3SessionProgId,
                                                                 [] { return orvane::p3sim::createSession(); });

} // namespace

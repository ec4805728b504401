#pragma once
// The message of the Orvane error a call throws, or "<no error>".

#include "common/Errors.h"

#include <QString>

#include <functional>

namespace orvane::testing {

inline QString errorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const OrvaneError& e) {
        return e.message();
    }
    return QStringLiteral("<no error>");
}

} // namespace orvane::testing

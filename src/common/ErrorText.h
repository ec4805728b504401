#pragma once
// How an error message is shown to the user, in a box or on a terminal: a
// "." is appended when the message is not empty and its last character sorts
// after "." (texts ending in "." or "!" stay as they are, a text ending in a
// letter gets a full stop).

#include <QString>

namespace orvane {

inline QString errorBoxText(const QString& message)
{
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + QLatin1Char('.');
    return message;
}

} // namespace orvane

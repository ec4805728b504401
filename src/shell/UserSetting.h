#pragma once
// The one remembered setting: the P3 user name ("P3User" under
// Software\Marbolt\Orvane of the current user; an ini file off Windows).
// The password is never stored.

#include <QString>

namespace orvane::shell {

// The stored name; empty when missing or when the stored value is not text.
QString readP3User();
// Writes the name as text (also when empty); failures are silent.
void writeP3User(const QString& user);

} // namespace orvane::shell

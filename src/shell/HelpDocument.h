#pragma once
// Where "Help" finds the user's documentation.

#include <QString>

namespace orvane::shell {

// The document that Help opens for a program in `programFolder`: the help
// file "orvane.chm" beside the program where it exists; otherwise the first
// page of the HTML guide, in the folder "guide" beside the program (as the
// build lays it out) or in the installed data folder
// "../share/orvane/guide". Empty when there is none of them. The working
// folder plays no part.
QString helpDocument(const QString& programFolder);

} // namespace orvane::shell

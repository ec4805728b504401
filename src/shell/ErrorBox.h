#pragma once
// The common error box and the guard every command runs through, so no
// exception ever crosses the event loop.

#include "common/ErrorText.h"

#include <QString>

#include <functional>

class QDialog;
class QWidget;

namespace orvane::shell {

// The text the error box shows for a message (see common/ErrorText.h).
using orvane::errorBoxText;

// The application title: the caption of every error box. Until the main
// window sets it, it is the program file's name up to its first dot, with
// every letter after the first in lower case.
QString applicationTitle();
void setApplicationTitle(const QString& title);
QString titleFromProgramPath(const QString& programPath);

// Shows the common error box (caption: the application title, error icon,
// one OK button, modal).
void showErrorBox(const QString& message);
// An error box listing collected problems (caption "Error").
void showErrorList(const QString& text);
// A notice (caption "Information", one OK button).
void showInformation(const QString& text);

// Runs one command; any error it raises ends it and is shown in the common
// error box, after which the program goes on idling.
void runGuarded(const std::function<void()>& command);

// Message boxes go through this presenter; tests replace it to see what
// the user would see without a modal box blocking them.
enum class BoxKind { Error, ErrorList, Information };

// The box the presenter shows by default, not yet shown: a message box, or
// for a text of many lines a list that scrolls inside the screen, its text
// selectable for copying. The caller owns it.
QDialog* createMessageBox(BoxKind kind, const QString& caption, const QString& text, QWidget* parent);
using BoxPresenter = std::function<void(BoxKind kind, const QString& caption, const QString& text)>;
void setBoxPresenter(BoxPresenter presenter);   // empty: the real message boxes

// Asks a question in a box captioned with the application title, with Yes
// and No, No the default button. True when the user answers Yes.
bool askYesNo(const QString& text);
// Questions go through this presenter; tests answer here.
using QuestionPresenter = std::function<bool(const QString& caption, const QString& text)>;
void setQuestionPresenter(QuestionPresenter presenter);   // empty: the real question box

} // namespace orvane::shell

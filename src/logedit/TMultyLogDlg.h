#pragma once
// "Edit multy logs.": a modeless window, normally above all others, that
// shows a range of the current row's log lines as the lines of a text box.
// The main window does the data work and hands the window three callbacks:
// apply (the "Apply" button), prior and next (Ctrl+Up, Ctrl+Down).
//
// The text box wraps long lines for display only: reading it back splits at
// the line breaks the user typed, so a log line wider than the box stays one
// log line, whatever its length. A line break stored inside a log shows as
// a mark (MultiLogLines.h), and "Apply" writes only the logs whose lines
// were edited.

#include <QDialog>
#include <QStringList>

#include <functional>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace orvane::logedit {

class TMultyLogDlg : public QDialog {
    Q_OBJECT
public:
    explicit TMultyLogDlg(QWidget* parent = nullptr);
    ~TMultyLogDlg() override;

    QSpinBox* SpinEdit1 = nullptr;          // first log number of the range
    QSpinBox* SpinEdit2 = nullptr;          // last log number of the range
    QLabel* lActivityID = nullptr;
    QLabel* lActivityDescription = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QPushButton* ApplyBtn = nullptr;
    QPushButton* CancelBtn = nullptr;       // "Close"
    QCheckBox* CheckOnTop = nullptr;        // "Be on top"

    // The current row's log lines 1 to 99 (a null line as the empty text),
    // as last loaded; the text box shows a slice of it.
    QStringList FLogValues;

    // Set by the main window; an unset callback is skipped.
    std::function<void()> FOnApply;
    std::function<void()> FOnPrior;
    std::function<void()> FOnNext;

    // Shows a row: the labels, FLogValues, and the text box refilled.
    void loadRow(const QString& activityId, const QString& description, const QStringList& logValues);

    // Refills the text box from FLogValues for the range the boxes show,
    // discarding unapplied edits.
    void SpinEdit1Change();

    // The range as "Apply" uses it: each box's log number. Throws
    // OrvaneError when a box names no log number, so "Apply" stops with a
    // message instead of writing a range the text box does not show.
    int rangeFirst() const;
    int rangeLast() const;
    // The lines the user typed (hard line breaks only).
    QStringList memoLines() const;

    void ApplyBtnClick();
    void CancelBtnClick();
    void CheckOnTopClick();

public slots:
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void Memo1KeyUp(QKeyEvent* event);
};

} // namespace orvane::logedit

#pragma once
// The custom filter dialog: one or two conditions on one column, joined by
// AND or OR. Created for one use; OK replaces the column's conditions inside
// one change lock and switches the filter on.

#include "filter/ConditionInput.h"

#include <QDialog>

#include <exception>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace orvane::filter {

class FilterDialogHost;

class TcxFilterDialog : public QDialog {
    Q_OBJECT
public:
    TcxFilterDialog(FilterDialogHost& link, int columnId, QWidget* parent = nullptr);

    // Shows the dialog modally for a column; an error of the table raised by
    // OK is passed on once the dialog has closed.
    static void Execute(FilterDialogHost& link, int columnId);

    // The error that OK's change raised (null when none).
    std::exception_ptr error() const { return m_error; }

    QLabel* lblTitle;
    QLabel* lblColumnCaption;
    QComboBox* cbOperator1;
    QComboBox* cbOperator2;
    QWidget* edValue1;   // QLineEdit; FilterDateEdit for a date column, QComboBox for a true/false one
    QWidget* edValue2;
    QRadioButton* rbAnd;
    QRadioButton* rbOr;
    QLabel* lblSingle;
    QLabel* lblSeries;
    QPushButton* btnOK;
    QPushButton* btnCancel;

    // Selects a display operator in a row's list (None: the empty entry).
    void setOperator(int row, DisplayOperator op);
    DisplayOperator operatorOf(int row) const;
    // Sets a row's value box text (a true/false list chooses the entry).
    void setValueText(int row, const QString& text);

public slots:
    void accept() override;

private:
    QWidget* newValueBox(const QString& name);
    QVariant valueOf(int row) const;
    QString textOf(int row) const;
    void operatorChanged();
    void setBoxValue(QWidget* box, const QVariant& value);

    FilterDialogHost& m_link;
    int m_columnId;
    int m_kind;   // store::FieldKind of the column
    std::exception_ptr m_error;
};

} // namespace orvane::filter

#pragma once
// "Activity data => Log X": copies an activity data field or an activity
// code value into a log line. The data-field list belongs to the main
// window; the import resets it and appends the project's code names, and
// the dialog shows the list as it is whenever it opens.

#include "store/DataFieldList.h"

#include <QDialog>

class QComboBox;
class QPushButton;
class QSpinBox;

namespace orvane::logedit {

class TFormAD2Log : public QDialog {
    Q_OBJECT
public:
    TFormAD2Log(store::DataFieldList& fieldList, QWidget* parent = nullptr);

    QComboBox* ComboBox1 = nullptr;   // the source field
    QSpinBox* SpinEdit = nullptr;     // the target log number
    QPushButton* OkBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

    // Empties the list, adds the fixed data fields and selects entry 0.
    void FillFieldList();
    store::DataFieldList& fieldList() { return m_fields; }
    const store::DataFieldList& fieldList() const { return m_fields; }

    // The statement for the chosen entry and log number.
    QString statement() const;

    // Shows the list's current entries (also done whenever the dialog opens).
    void reloadFieldList();

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    store::DataFieldList& m_fields;
    quint64 m_shownRevision = ~quint64(0);
};

} // namespace orvane::logedit

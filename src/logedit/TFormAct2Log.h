#pragma once
// "Log & Description": copies the description into a log line or a log line
// into the description. Created once and reused, so it keeps its choice.

#include <QDialog>

class QPushButton;
class QRadioButton;
class QSpinBox;

namespace orvane::logedit {

class TFormAct2Log : public QDialog {
    Q_OBJECT
public:
    explicit TFormAct2Log(QWidget* parent = nullptr);

    QRadioButton* RadioButton1 = nullptr;   // "Description to Log #"
    QSpinBox* SpinEdit1 = nullptr;          // its log number
    QRadioButton* RadioButton2 = nullptr;   // "Log #  ...  to Description"
    QSpinBox* SpinEdit2 = nullptr;          // its log number, over the blanks
    QPushButton* OkBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

    QString statement() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
};

} // namespace orvane::logedit

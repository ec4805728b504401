#pragma once
// "Log# X => Log# Y": asks for the source and the target log number of the
// log-to-log copy. Created once and reused, so it keeps its numbers.

#include <QDialog>

class QPushButton;
class QSpinBox;

namespace orvane::logedit {

class TForm2Log : public QDialog {
    Q_OBJECT
public:
    explicit TForm2Log(QWidget* parent = nullptr);

    QSpinBox* SpinEdit1 = nullptr;   // from: source log number X
    QSpinBox* SpinEdit2 = nullptr;   // to: target log number Y
    QPushButton* OkBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

    // The statement the dialog's choice stands for (without a WHERE).
    // Throws OrvaneError when a number box names no log number.
    QString statement() const;

protected:
    // No cancel key and no close box: the dialog ends only through its
    // buttons.
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
};

} // namespace orvane::logedit

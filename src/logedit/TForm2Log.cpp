#include "logedit/TForm2Log.h"

#include "logedit/BulkCommands.h"
#include "logedit/DialogFrame.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

namespace orvane::logedit {

TForm2Log::TForm2Log(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("TForm2Log"));
    setWindowTitle(QStringLiteral("Log# X => Log# Y"));

    auto* heading = new QLabel(QStringLiteral("Please set log numbers to move"), this);
    heading->setGeometry(16, 12, 220, 16);
    auto* from = new QLabel(QStringLiteral("from:"), this);
    from->setGeometry(24, 36, 60, 16);
    SpinEdit1 = newLogNumberBox(this);
    SpinEdit1->setObjectName(QStringLiteral("SpinEdit1"));
    SpinEdit1->setGeometry(24, 54, 81, 24);
    auto* to = new QLabel(QStringLiteral("to:"), this);
    to->setGeometry(136, 36, 60, 16);
    SpinEdit2 = newLogNumberBox(this);
    SpinEdit2->setObjectName(QStringLiteral("SpinEdit2"));
    SpinEdit2->setGeometry(136, 54, 81, 24);
    from->setBuddy(SpinEdit1);
    to->setBuddy(SpinEdit2);

    OkBtn = new QPushButton(QStringLiteral("Ok"), this);
    OkBtn->setObjectName(QStringLiteral("OkBtn"));
    OkBtn->setGeometry(24, 94, 81, 26);
    OkBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setGeometry(136, 94, 81, 26);
    connect(OkBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    setFixedSize(242, 134);
}

QString TForm2Log::statement() const
{
    const int x = logNumberOf(SpinEdit1);
    return log2LogStatement(x, logNumberOf(SpinEdit2));
}

void TForm2Log::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TForm2Log::closeEvent(QCloseEvent* event)
{
    event->ignore();
}

} // namespace orvane::logedit

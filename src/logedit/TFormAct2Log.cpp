#include "logedit/TFormAct2Log.h"

#include "logedit/BulkCommands.h"
#include "logedit/DialogFrame.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyle>
#include <algorithm>

namespace orvane::logedit {

TFormAct2Log::TFormAct2Log(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("TFormAct2Log"));
    setWindowTitle(QStringLiteral("Log & Description"));

    auto* heading = new QLabel(QStringLiteral("Use this dialog to copy"), this);
    heading->setGeometry(16, 12, 240, 16);

    const int boxHeight = 24;
    RadioButton1 = new QRadioButton(QStringLiteral("Description to Log #"), this);
    RadioButton1->setObjectName(QStringLiteral("RadioButton1"));
    RadioButton1->adjustSize();
    RadioButton1->move(16, 40);
    RadioButton1->setChecked(true);
    SpinEdit1 = newLogNumberBox(this);
    SpinEdit1->setObjectName(QStringLiteral("SpinEdit1"));
    SpinEdit1->setGeometry(RadioButton1->geometry().right() + 4,
                           40 + (RadioButton1->height() - boxHeight) / 2, 56, boxHeight);

    // The second caption leaves 17 blanks between "#" and "to"; the number
    // box sits over them.
    RadioButton2 = new QRadioButton(QStringLiteral("Log #") + QString(17, QLatin1Char(' '))
                                        + QStringLiteral("to Description"), this);
    RadioButton2->setObjectName(QStringLiteral("RadioButton2"));
    RadioButton2->adjustSize();
    const QFontMetrics metrics(RadioButton2->font());
    const int indicator = style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, RadioButton2)
                          + style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, RadioButton2);
    const int blanksStart = indicator + metrics.horizontalAdvance(QStringLiteral("Log # "));
    const int blanksWidth = metrics.horizontalAdvance(QString(16, QLatin1Char(' ')));
    const int spinWidth = std::max(blanksWidth, 40);
    RadioButton2->move(16, 76);
    SpinEdit2 = newLogNumberBox(this);
    SpinEdit2->setObjectName(QStringLiteral("SpinEdit2"));
    SpinEdit2->setGeometry(16 + blanksStart, 76 + (RadioButton2->height() - boxHeight) / 2, spinWidth,
                           boxHeight);
    SpinEdit2->raise();

    OkBtn = new QPushButton(QStringLiteral("Ok"), this);
    OkBtn->setObjectName(QStringLiteral("OkBtn"));
    OkBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    const int width = std::max({SpinEdit1->geometry().right(), RadioButton2->geometry().right(), 230}) + 16;
    OkBtn->setGeometry(width / 2 - 90, 116, 81, 26);
    CancelBtn->setGeometry(width / 2 + 9, 116, 81, 26);
    connect(OkBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    setFixedSize(width, 156);
}

QString TFormAct2Log::statement() const
{
    if (RadioButton2->isChecked())
        return logToDescriptionStatement(logNumberOf(SpinEdit2));
    return descriptionToLogStatement(logNumberOf(SpinEdit1));
}

void TFormAct2Log::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TFormAct2Log::closeEvent(QCloseEvent* event)
{
    event->ignore();
}

} // namespace orvane::logedit

#include "logedit/TMultyLogDlg.h"

#include "logedit/DialogFrame.h"
#include "logedit/MultiLogLines.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

namespace orvane::logedit {

TMultyLogDlg::TMultyLogDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TMultyLogDlg"));
    setWindowTitle(QStringLiteral("Edit multy logs."));
    setModal(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(6);

    auto* headingFrame = new QFrame(this);
    headingFrame->setFrameShape(QFrame::Box);
    headingFrame->setFrameShadow(QFrame::Sunken);
    auto* headingLayout = new QVBoxLayout(headingFrame);
    auto* heading = new QLabel(QStringLiteral("Use this dialog form to edit your log records as multy-line text, "
                                              "where each line is a log."),
                               headingFrame);
    heading->setWordWrap(true);
    headingLayout->addWidget(heading);
    layout->addWidget(headingFrame);

    auto* rangeRow = new QHBoxLayout();
    auto* fromLabel = new QLabel(QStringLiteral("Start from log #"), this);
    SpinEdit1 = newLogNumberBox(this);
    SpinEdit1->setObjectName(QStringLiteral("SpinEdit1"));
    fromLabel->setBuddy(SpinEdit1);
    auto* toLabel = new QLabel(QStringLiteral("end whith log #"), this);
    SpinEdit2 = newLogNumberBox(this);
    SpinEdit2->setObjectName(QStringLiteral("SpinEdit2"));
    toLabel->setBuddy(SpinEdit2);
    rangeRow->addWidget(fromLabel);
    rangeRow->addWidget(SpinEdit1);
    rangeRow->addSpacing(16);
    rangeRow->addWidget(toLabel);
    rangeRow->addWidget(SpinEdit2);
    rangeRow->addStretch(1);
    layout->addLayout(rangeRow);

    auto* rowFrame = new QFrame(this);
    rowFrame->setFrameShape(QFrame::Box);
    rowFrame->setFrameShadow(QFrame::Sunken);
    auto* rowLayout = new QVBoxLayout(rowFrame);
    QFont bold = font();
    bold.setBold(true);
    lActivityID = new QLabel(rowFrame);
    lActivityID->setObjectName(QStringLiteral("lActivityID"));
    lActivityID->setFont(bold);
    lActivityDescription = new QLabel(rowFrame);
    lActivityDescription->setObjectName(QStringLiteral("lActivityDescription"));
    lActivityDescription->setFont(bold);
    lActivityDescription->setTextFormat(Qt::PlainText);
    lActivityID->setTextFormat(Qt::PlainText);
    rowLayout->addWidget(lActivityID);
    rowLayout->addWidget(lActivityDescription);
    layout->addWidget(rowFrame);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    QFont fixed(QStringLiteral("Courier New"));
    fixed.setStyleHint(QFont::TypeWriter);
    fixed.setFixedPitch(true);
    fixed.setPixelSize(13);
    Memo1->setFont(fixed);
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setTabChangesFocus(false);
    Memo1->installEventFilter(this);
    layout->addWidget(Memo1, 1);

    auto* buttonRow = new QHBoxLayout();
    ApplyBtn = new QPushButton(QStringLiteral("Apply"), this);
    ApplyBtn->setObjectName(QStringLiteral("ApplyBtn"));
    ApplyBtn->setAutoDefault(false);
    CancelBtn = new QPushButton(QStringLiteral("Close"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setAutoDefault(false);
    CheckOnTop = new QCheckBox(QStringLiteral("Be on top"), this);
    CheckOnTop->setObjectName(QStringLiteral("CheckOnTop"));
    buttonRow->addWidget(CheckOnTop);
    buttonRow->addStretch(1);
    buttonRow->addWidget(ApplyBtn);
    buttonRow->addWidget(CancelBtn);
    layout->addLayout(buttonRow);

    connect(ApplyBtn, &QPushButton::clicked, this, &TMultyLogDlg::ApplyBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TMultyLogDlg::CancelBtnClick);
    connect(CheckOnTop, &QCheckBox::clicked, this, &TMultyLogDlg::CheckOnTopClick);
    // Every change of either box refills the text box, also while typing.
    connect(SpinEdit1, &QSpinBox::textChanged, this, &TMultyLogDlg::SpinEdit1Change);
    connect(SpinEdit2, &QSpinBox::textChanged, this, &TMultyLogDlg::SpinEdit1Change);

    setFixedSize(433, 457);
    FormCreate();
}

TMultyLogDlg::~TMultyLogDlg() = default;

void TMultyLogDlg::FormCreate()
{
    FLogValues = QStringList();
    for (int n = 0; n < kMultiLogCount; ++n)
        FLogValues << QString();
    CheckOnTop->setChecked(true);
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
}

void TMultyLogDlg::loadRow(const QString& activityId, const QString& description, const QStringList& logValues)
{
    lActivityID->setText(activityId);
    lActivityDescription->setText(description);
    FLogValues = logValues;
    SpinEdit1Change();
}

void TMultyLogDlg::SpinEdit1Change()
{
    const int first = rangeBoxValue(SpinEdit1->cleanText(), SpinEdit1->locale());
    const int last = rangeBoxValue(SpinEdit2->cleanText(), SpinEdit2->locale());
    bool stoppedEarly = false;
    const QStringList lines = rangeLines(FLogValues, first, last, &stoppedEarly);
    Memo1->clear();
    if (!lines.isEmpty())
        Memo1->setPlainText(lines.join(QLatin1Char('\n')));
    QTextCursor cursor = Memo1->textCursor();
    cursor.movePosition(stoppedEarly ? QTextCursor::End : QTextCursor::Start);
    Memo1->setTextCursor(cursor);
}

int TMultyLogDlg::rangeFirst() const
{
    return logNumberOf(SpinEdit1);
}

int TMultyLogDlg::rangeLast() const
{
    return logNumberOf(SpinEdit2);
}

QStringList TMultyLogDlg::memoLines() const
{
    // The raw text: the plain-text form would turn no-break spaces into
    // ordinary ones.
    return typedLines(Memo1->document()->toRawText());
}

void TMultyLogDlg::ApplyBtnClick()
{
    if (FOnApply)
        FOnApply();
}

void TMultyLogDlg::CancelBtnClick()
{
    hide();
}

void TMultyLogDlg::reject()
{
    // Esc anywhere in the window presses "Close": hide, never destroy.
    CancelBtnClick();
}

void TMultyLogDlg::CheckOnTopClick()
{
    const bool wasVisible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, CheckOnTop->isChecked());
    // Changing the window flags hides a shown window; show it again.
    if (wasVisible)
        show();
}

bool TMultyLogDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Memo1 && event->type() == QEvent::KeyRelease)
        Memo1KeyUp(static_cast<QKeyEvent*>(event));
    return QDialog::eventFilter(watched, event);
}

void TMultyLogDlg::Memo1KeyUp(QKeyEvent* event)
{
    // Holding a key down repeats its press; act once, when it is let go.
    if (event->isAutoRepeat())
        return;
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_Up:
        if (ctrl && FOnPrior)
            FOnPrior();
        break;
    case Qt::Key_Down:
        if (ctrl && FOnNext)
            FOnNext();
        break;
    case Qt::Key_A:
        if (ctrl)
            Memo1->selectAll();
        break;
    case Qt::Key_Escape:
        CancelBtnClick();
        break;
    default:
        break;
    }
}

} // namespace orvane::logedit

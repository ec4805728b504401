#include "p3link/LoginDialog.h"

#include <QApplication>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QStyleFactory>

namespace orvane::p3link {

namespace {

// Shows every password character as "*", whatever the platform style uses.
class StarPasswordStyle : public QProxyStyle {
public:
    explicit StarPasswordStyle(QStyle* base) : QProxyStyle(base) {}
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

TLoginDlg::TLoginDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("P3 Login"));
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    setFixedSize(172, 135);

    lUserName = new QLabel(QStringLiteral("Enter username"), this);
    lUserName->move(8, 8);
    lUserName->adjustSize();
    eUserName = new QLineEdit(this);
    eUserName->setObjectName(QStringLiteral("eUserName"));
    eUserName->setGeometry(8, 24, 153, 21);

    lPasswd = new QLabel(QStringLiteral("Enter password:"), this);
    lPasswd->move(8, 49);
    lPasswd->adjustSize();
    ePasswd = new QLineEdit(this);
    ePasswd->setObjectName(QStringLiteral("ePasswd"));
    ePasswd->setGeometry(8, 67, 153, 21);
    ePasswd->setEchoMode(QLineEdit::Password);
    QStyle* base = QStyleFactory::create(QApplication::style()->name());
    auto* starStyle = new StarPasswordStyle(base);   // owns base
    starStyle->setParent(this);
    ePasswd->setStyle(starStyle);
    ePasswd->installEventFilter(this);

    bOk = new QPushButton(QStringLiteral("OK"), this);
    bOk->setObjectName(QStringLiteral("bOk"));
    bOk->setGeometry(6, 99, 75, 25);
    bOk->setDefault(true);
    connect(bOk, &QPushButton::clicked, this, &QDialog::accept);

    bCancel = new QPushButton(QStringLiteral("Cancel"), this);
    bCancel->setObjectName(QStringLiteral("bCancel"));
    bCancel->setGeometry(86, 99, 75, 25);
    bCancel->setAutoDefault(false);
    // Esc rejects a QDialog, which is the Cancel result.
    connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);

    setTabOrder(eUserName, ePasswd);
    setTabOrder(ePasswd, bOk);
    setTabOrder(bOk, bCancel);
    eUserName->setFocus();
}

void TLoginDlg::setEntries(const P3Credentials& credentials)
{
    eUserName->setText(credentials.user);
    ePasswd->setText(credentials.password);
}

P3Credentials TLoginDlg::entries() const
{
    return {eUserName->text(), ePasswd->text()};
}

void TLoginDlg::showEvent(QShowEvent* event)
{
    // Centred on the screen, not on the parent.
    QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    QDialog::showEvent(event);
}

bool TLoginDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ePasswd) {
        if (event->type() == QEvent::FocusIn) {
            // A click places the caret when the button goes down, after the
            // focus arrived; the text is selected once the button is let go.
            if (static_cast<QFocusEvent*>(event)->reason() == Qt::MouseFocusReason)
                m_selectPasswordOnRelease = true;
            else
                ePasswd->selectAll();
        } else if (event->type() == QEvent::MouseButtonRelease && m_selectPasswordOnRelease) {
            m_selectPasswordOnRelease = false;
            const bool handled = QDialog::eventFilter(watched, event);
            ePasswd->selectAll();
            return handled;
        }
    }
    return QDialog::eventFilter(watched, event);
}

std::optional<P3Credentials> DialogLoginPrompt::ask(const P3Credentials& remembered)
{
    TLoginDlg dialog(m_parent);
    dialog.setEntries(remembered);
    if (dialog.exec() == QDialog::Accepted)
        return dialog.entries();
    return std::nullopt;
}

} // namespace orvane::p3link

// TLoginDlg on the offscreen platform: its layout, its keys, and a sign-in
// driven through the real dialog against the simulated P3 server.

#include "../support/SampleProjects.h"

#include "p3link/LoginDialog.h"
#include "p3sim/Server.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace orvane;
using namespace orvane::p3link;
namespace m = orvane::p3link::member;

class LoginDialogTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void layout();
    void keys_data();
    void keys();
    void centredOnScreen();
    void signInThroughTheDialog();
    void cancelInTheDialog();
    void typingReplacesARememberedPassword_data();
    void typingReplacesARememberedPassword();

private:
    // Runs the import's sign-in, answering the dialog with answer (or
    // cancelling it when answer is empty). Returns the error text.
    QString runImportSignIn(P3Credentials& credentials, const std::optional<P3Credentials>& answer,
                            P3Credentials* shown);

    std::unique_ptr<QTemporaryDir> m_dir;
};

void LoginDialogTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    const QString projects = m_dir->filePath(QStringLiteral("projects"));
    QVERIFY(orvane::testing::copyFolder(orvane::testing::kSampleProjects, projects));
    p3sim::control().reset();
    p3sim::control().settings = p3sim::Settings{};
    p3sim::control().settings.projectsFolder = projects;
    p3sim::control().recordCalls = true;
    Session.reset();
}

void LoginDialogTest::cleanup()
{
    Session.reset();
    p3sim::control().reset();
}

void LoginDialogTest::layout()
{
    TLoginDlg dlg;
    QCOMPARE(dlg.windowTitle(), QStringLiteral("P3 Login"));
    QCOMPARE(dlg.size(), QSize(172, 135));
    QCOMPARE(dlg.minimumSize(), QSize(172, 135));
    QCOMPARE(dlg.maximumSize(), QSize(172, 135));

    QCOMPARE(dlg.lUserName->text(), QStringLiteral("Enter username"));
    QCOMPARE(dlg.lUserName->pos(), QPoint(8, 8));
    QCOMPARE(dlg.eUserName->geometry().topLeft(), QPoint(8, 24));
    QCOMPARE(dlg.eUserName->width(), 153);
    QCOMPARE(dlg.lPasswd->text(), QStringLiteral("Enter password:"));
    QCOMPARE(dlg.lPasswd->pos(), QPoint(8, 49));
    QCOMPARE(dlg.ePasswd->geometry().topLeft(), QPoint(8, 67));
    QCOMPARE(dlg.ePasswd->width(), 153);
    QCOMPARE(dlg.bOk->geometry(), QRect(6, 99, 75, 25));
    QCOMPARE(dlg.bOk->text(), QStringLiteral("OK"));
    QVERIFY(dlg.bOk->isDefault());
    QCOMPARE(dlg.bCancel->geometry(), QRect(86, 99, 75, 25));
    QCOMPARE(dlg.bCancel->text(), QStringLiteral("Cancel"));

    // Password shown as stars.
    QCOMPARE(dlg.ePasswd->echoMode(), QLineEdit::Password);
    QCOMPARE(dlg.ePasswd->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, dlg.ePasswd),
             int('*'));
    dlg.ePasswd->setText(QStringLiteral("abc"));
    QCOMPARE(dlg.ePasswd->displayText(), QStringLiteral("***"));

    // Tab order: user name, password, then the buttons.
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    dlg.activateWindow();
    dlg.eUserName->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(dlg.eUserName));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(dlg.ePasswd));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(dlg.bOk));
}

void LoginDialogTest::keys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("result");
    QTest::newRow("Enter is OK") << int(Qt::Key_Return) << int(QDialog::Accepted);
    QTest::newRow("Esc is Cancel") << int(Qt::Key_Escape) << int(QDialog::Rejected);
}

void LoginDialogTest::keys()
{
    QFETCH(int, key);
    QFETCH(int, result);
    TLoginDlg dlg;
    QTimer::singleShot(0, &dlg, [&] { QTest::keyClick(dlg.ePasswd, Qt::Key(key)); });
    QCOMPARE(dlg.exec(), result);
}

void LoginDialogTest::centredOnScreen()
{
    TLoginDlg dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    const QPoint screenCentre = dlg.screen()->availableGeometry().center();
    const QPoint dialogCentre = dlg.frameGeometry().center();
    QVERIFY2((screenCentre - dialogCentre).manhattanLength() <= 2,
             qPrintable(QStringLiteral("%1,%2 vs %3,%4").arg(screenCentre.x()).arg(screenCentre.y())
                            .arg(dialogCentre.x()).arg(dialogCentre.y())));
}

QString LoginDialogTest::runImportSignIn(P3Credentials& credentials, const std::optional<P3Credentials>& answer,
                                         P3Credentials* shown)
{
    QTimer::singleShot(0, [&] {
        auto* dlg = qobject_cast<TLoginDlg*>(QApplication::activeModalWidget());
        if (!dlg)
            return;
        *shown = dlg->entries();
        if (answer) {
            dlg->eUserName->clear();
            dlg->ePasswd->clear();
            QTest::keyClicks(dlg->eUserName, answer->user);
            QTest::keyClicks(dlg->ePasswd, answer->password);
            QTest::mouseClick(dlg->bOk, Qt::LeftButton);
        } else {
            QTest::mouseClick(dlg->bCancel, Qt::LeftButton);
        }
    });
    DialogLoginPrompt prompt;
    try {
        runWithSession(SignInVariant::DialogCancelSkips, credentials, &prompt,
                       [] { Session.object(m::ProjectAbstracts); });
    } catch (const OrvaneError& e) {
        return e.message();
    }
    return QString();
}

void LoginDialogTest::signInThroughTheDialog()
{
    P3Credentials credentials{QStringLiteral("PLANNER"), QStringLiteral("OLD")};
    P3Credentials shown;
    QCOMPARE(runImportSignIn(credentials, P3Credentials{"planner", "schedule"}, &shown), QString());
    QCOMPARE(shown.user, QStringLiteral("PLANNER"));
    QCOMPARE(shown.password, QStringLiteral("OLD"));
    QCOMPARE(credentials.user, QStringLiteral("PLANNER"));
    QCOMPARE(credentials.password, QStringLiteral("SCHEDULE"));
    QCOMPARE(p3sim::control().callLines().first(),
             QStringLiteral("Session.CurrentUser()"));
    QCOMPARE(p3sim::control().callCount(QStringLiteral("Login")), 1);
    QCOMPARE(p3sim::control().callCount(QStringLiteral("Logout")), 1);
    QVERIFY(Session.isNull());
    for (QWidget* w : QApplication::topLevelWidgets())
        QVERIFY(!qobject_cast<TLoginDlg*>(w));   // destroyed after use
}

void LoginDialogTest::cancelInTheDialog()
{
    P3Credentials credentials{QStringLiteral("PLANNER"), QStringLiteral("SCHEDULE")};
    P3Credentials shown;
    QCOMPARE(runImportSignIn(credentials, std::nullopt, &shown),
             QStringLiteral("No user is signed in to P3. Log in before listing or opening projects."));
    QCOMPARE(shown.password, QStringLiteral("SCHEDULE"));
    QCOMPARE(p3sim::control().callCount(QStringLiteral("Login")), 0);
    QCOMPARE(p3sim::control().callCount(QStringLiteral("Logout")), 1);
    QVERIFY(Session.isNull());
}

QTEST_MAIN(LoginDialogTest)
#include "LoginDialogTest.moc"

void LoginDialogTest::typingReplacesARememberedPassword_data()
{
    QTest::addColumn<bool>("byClick");
    QTest::newRow("click") << true;
    QTest::newRow("Tab") << false;
}

// The dialog shown again in a run holds the password given before; the
// user clicks into the box (or tabs to it) and types the right one.
void LoginDialogTest::typingReplacesARememberedPassword()
{
    QFETCH(bool, byClick);
    TLoginDlg dlg;
    dlg.setEntries({QStringLiteral("PLANNER"), QStringLiteral("WRONG")});
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    dlg.activateWindow();
    QTRY_VERIFY(dlg.eUserName->hasFocus());
    if (byClick)
        QTest::mouseClick(dlg.ePasswd, Qt::LeftButton, Qt::NoModifier, QPoint(20, 10));
    else
        QTest::keyClick(dlg.eUserName, Qt::Key_Tab);
    QTRY_VERIFY(dlg.ePasswd->hasFocus());
    QTest::keyClicks(dlg.ePasswd, QStringLiteral("SCHEDULE"));
    QCOMPARE(dlg.entries().password, QStringLiteral("SCHEDULE"));
    QCOMPARE(dlg.entries().user, QStringLiteral("PLANNER"));
}

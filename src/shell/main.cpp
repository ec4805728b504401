// Orvane's entry: the windows are created in their fixed order, then the
// main window runs until it closes.

#include "logedit/TMultyLogDlg.h"
#include "shell/ClassicFont.h"
#include "shell/TAboutForm.h"
#include "shell/TMainForm.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Marbolt"));
    QApplication::setApplicationName(QStringLiteral("Orvane"));
    orvane::shell::applyClassicFont();

    auto* multyLogDlg = new orvane::logedit::TMultyLogDlg();
    auto* aboutForm = new orvane::shell::TAboutForm();
    // The main window creates the pickers and the bulk-command dialogs
    // after itself.
    auto* mainForm = new orvane::shell::TMainForm(aboutForm);
    mainForm->setMultyLogDlg(multyLogDlg);
    mainForm->setAttribute(Qt::WA_DeleteOnClose, false);
    mainForm->show();
    const int result = app.exec();
    delete mainForm;
    delete aboutForm;
    delete multyLogDlg;
    return result;
}

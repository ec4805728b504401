// Orvane's entry: the windows are created in their fixed order, then the
// main window runs until it closes.

#include "logedit/TMultyLogDlg.h"
#include "shell/TAboutForm.h"
#include "shell/TMainForm.h"

#include <QApplication>
#include <QFont>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Marbolt"));
    QApplication::setApplicationName(QStringLiteral("Orvane"));
    // The window's fonts are the desktop's classic small ones; where they
    // are missing, fonts of close metrics stand in so the fixed column
    // widths still hold their texts.
    for (const QString& family : {QStringLiteral("MS Sans Serif"), QStringLiteral("Tahoma")})
        QFont::insertSubstitutions(family, {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Liberation Sans"),
                                            QStringLiteral("DejaVu Sans Condensed")});
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSize(8);
    QApplication::setFont(font);

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

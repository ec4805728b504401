#pragma once
// uLogin: the P3 login dialog TLoginDlg, created for each use and destroyed
// after it, and the LoginPrompt that shows it.

#include "p3link/P3Session.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace orvane::p3link {

class TLoginDlg : public QDialog {
    Q_OBJECT
public:
    explicit TLoginDlg(QWidget* parent = nullptr);

    void setEntries(const P3Credentials& credentials);
    P3Credentials entries() const;

    QLineEdit* eUserName;
    QLineEdit* ePasswd;
    QPushButton* bOk;
    QPushButton* bCancel;
    QLabel* lUserName;
    QLabel* lPasswd;

protected:
    void showEvent(QShowEvent* event) override;
    // The password box selects its whole text whenever it gets the focus
    // (by Tab or by a click), so typing replaces a remembered password
    // instead of adding to it.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool m_selectPasswordOnRelease = false;
};

// Shows TLoginDlg modally over parent.
class DialogLoginPrompt : public LoginPrompt {
public:
    explicit DialogLoginPrompt(QWidget* parent = nullptr) : m_parent(parent) {}
    std::optional<P3Credentials> ask(const P3Credentials& remembered) override;

private:
    QWidget* m_parent;
};

} // namespace orvane::p3link

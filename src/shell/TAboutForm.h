#pragma once
// The about box: product name and version, links to the maker's web page
// and mail address, an "Ok" button.

#include <QDialog>

namespace orvane::shell {

class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* parent = nullptr);
    // The project's version, as the build was made.
    static QString version();
    static QString mailAddress() { return QStringLiteral("support@marbolt.example"); }
};

} // namespace orvane::shell

#include "shell/TAboutForm.h"

#include "shell/TMainForm.h"

#include "common/ProductVersion.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace orvane::shell {

QString TAboutForm::version()
{
    return QString::fromLatin1(kProductVersion);
}

TAboutForm::TAboutForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TAboutForm"));
    setWindowTitle(QStringLiteral("About..."));
    auto* layout = new QVBoxLayout(this);
    auto* name = new QLabel(QStringLiteral("<b>Orvane</b> version %1").arg(version()), this);
    auto* blurb = new QLabel(QStringLiteral("Activity log lines of P3 projects, side by side."), this);
    const QString web = TMainForm::homePageAddress();
    auto* links = new QLabel(QStringLiteral("<a href=\"%1\">%1</a><br><a href=\"mailto:%2\">%2</a>")
                                 .arg(web, mailAddress()), this);
    links->setTextInteractionFlags(Qt::TextBrowserInteraction);
    connect(links, &QLabel::linkActivated, this,
            [](const QString& link) { QDesktopServices::openUrl(QUrl(link)); });
    auto* ok = new QPushButton(QStringLiteral("Ok"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(name);
    layout->addWidget(blurb);
    layout->addWidget(links);
    layout->addWidget(ok, 0, Qt::AlignHCenter);
}

} // namespace orvane::shell

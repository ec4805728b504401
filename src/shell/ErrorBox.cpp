#include "shell/ErrorBox.h"

#include "common/Errors.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>

namespace orvane::shell {

namespace {

QString& titleStorage()
{
    static QString title;
    return title;
}

BoxPresenter& presenter()
{
    static BoxPresenter p;
    return p;
}

void present(BoxKind kind, const QString& caption, const QString& text)
{
    if (presenter()) {
        presenter()(kind, caption, text);
        return;
    }
    QWidget* parent = QApplication::activeWindow();
    switch (kind) {
    case BoxKind::Error:
    case BoxKind::ErrorList:
        QMessageBox::critical(parent, caption, text, QMessageBox::Ok);
        break;
    case BoxKind::Information:
        QMessageBox::information(parent, caption, text, QMessageBox::Ok);
        break;
    }
}

} // namespace

QString titleFromProgramPath(const QString& programPath)
{
    QString name = QFileInfo(programPath).fileName();
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    if (name.size() > 1)
        name = name.left(1) + name.mid(1).toLower();
    return name;
}

QString applicationTitle()
{
    if (titleStorage().isEmpty())
        return titleFromProgramPath(QCoreApplication::applicationFilePath());
    return titleStorage();
}

void setApplicationTitle(const QString& title)
{
    titleStorage() = title;
    QApplication::setApplicationDisplayName(title);
}

void showErrorBox(const QString& message)
{
    present(BoxKind::Error, applicationTitle(), errorBoxText(message));
}

void showErrorList(const QString& text)
{
    present(BoxKind::ErrorList, QStringLiteral("Error"), text);
}

void showInformation(const QString& text)
{
    present(BoxKind::Information, QStringLiteral("Information"), text);
}

void runGuarded(const std::function<void()>& command)
{
    try {
        command();
    } catch (const OrvaneError& e) {
        showErrorBox(e.message());
    } catch (const std::exception& e) {
        showErrorBox(QString::fromUtf8(e.what()));
    }
}

void setBoxPresenter(BoxPresenter p)
{
    presenter() = std::move(p);
}

} // namespace orvane::shell

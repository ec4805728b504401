#include "shell/ErrorBox.h"

#include "common/Errors.h"
#include "grid/BusyCursor.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

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

QuestionPresenter& questionPresenter()
{
    static QuestionPresenter p;
    return p;
}

// Texts of more lines than this are shown in a scrolling list.
constexpr int kPlainBoxLines = 12;

// A box for a long text (the activities a save could not write, say): the
// text in a read-only, selectable list that scrolls, sized to stay inside
// the screen, so OK can always be reached.
QDialog* createListBox(BoxKind kind, const QString& caption, const QString& text, QWidget* parent)
{
    auto* box = new QDialog(parent);
    box->setObjectName(QStringLiteral("ListMessageBox"));
    box->setWindowTitle(caption);
    box->setModal(true);
    auto* icon = new QLabel(box);
    const QStyle::StandardPixmap picture =
        kind == BoxKind::Information ? QStyle::SP_MessageBoxInformation : QStyle::SP_MessageBoxCritical;
    const int iconSize = box->style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, box);
    icon->setPixmap(box->style()->standardIcon(picture, nullptr, box).pixmap(iconSize, iconSize));
    icon->setAlignment(Qt::AlignTop);
    auto* list = new QPlainTextEdit(box);
    list->setObjectName(QStringLiteral("MessageText"));
    list->setReadOnly(true);
    list->setLineWrapMode(QPlainTextEdit::NoWrap);
    list->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    list->setPlainText(text);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, box);
    QObject::connect(buttons, &QDialogButtonBox::accepted, box, &QDialog::accept);
    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    row->addWidget(list, 1);
    auto* layout = new QVBoxLayout(box);
    layout->addLayout(row, 1);
    layout->addWidget(buttons);

    // As wide as the longest line and as tall as the text, within two
    // thirds of the screen; the list scrolls beyond that.
    const QFontMetrics metrics(list->font());
    int widest = 0;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString& line : lines)
        widest = std::max(widest, metrics.horizontalAdvance(line));
    const QScreen* screen = parent && parent->screen() ? parent->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const int chrome = iconSize + 80;
    const int width = std::clamp(widest + chrome, 360, area.width() * 2 / 3);
    const int height = std::clamp(int(lines.size()) * metrics.lineSpacing() + 110, 160, area.height() * 2 / 3);
    box->resize(width, height);
    return box;
}

void present(BoxKind kind, const QString& caption, const QString& text)
{
    grid::NormalCursor normal;
    if (presenter()) {
        presenter()(kind, caption, text);
        return;
    }
    QWidget* parent = QApplication::activeWindow();
    std::unique_ptr<QDialog> box(createMessageBox(kind, caption, text, parent));
    box->exec();
}

} // namespace

QDialog* createMessageBox(BoxKind kind, const QString& caption, const QString& text, QWidget* parent)
{
    if (text.count(QLatin1Char('\n')) >= kPlainBoxLines)
        return createListBox(kind, caption, text, parent);
    const QMessageBox::Icon icon = kind == BoxKind::Information ? QMessageBox::Information : QMessageBox::Critical;
    return new QMessageBox(icon, caption, text, QMessageBox::Ok, parent);
}

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
    // Only the boxes take it: window titles stay exactly as each window
    // sets them, with nothing added by the platform.
    titleStorage() = title;
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

bool askYesNo(const QString& text)
{
    grid::NormalCursor normal;
    if (questionPresenter())
        return questionPresenter()(applicationTitle(), text);
    QMessageBox box(QMessageBox::Question, applicationTitle(), text, QMessageBox::Yes | QMessageBox::No,
                    QApplication::activeWindow());
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void setQuestionPresenter(QuestionPresenter p)
{
    questionPresenter() = std::move(p);
}

} // namespace orvane::shell

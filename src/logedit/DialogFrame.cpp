#include "logedit/DialogFrame.h"

#include "logedit/BulkCommands.h"
#include "store/ActivityLayout.h"

#include <QCoreApplication>
#include <QFocusEvent>
#include <QHideEvent>
#include <QKeyEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QSpinBox>
#include <QWidget>

namespace orvane::logedit {

namespace {

class LogNumberBox final : public QSpinBox {
public:
    using QSpinBox::QSpinBox;

protected:
    // Every text can be typed: one that names no log number stays in the
    // box as typed (intermediate), and the command that reads the box
    // refuses it with a message. The spin box alone would refuse the
    // keystroke and leave a number the user did not type.
    QValidator::State validate(QString& text, int& position) const override
    {
        return QSpinBox::validate(text, position) == QValidator::Acceptable ? QValidator::Acceptable
                                                                              : QValidator::Intermediate;
    }

    void keyPressEvent(QKeyEvent* event) override
    {
        const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        if (enter && !hasAcceptableInput()) {
            // Enter goes on to the dialog's default button with the text as
            // typed; the spin box would first put its earlier value back.
            event->ignore();
            return;
        }
        QSpinBox::keyPressEvent(event);
    }

    void hideEvent(QHideEvent* event) override
    {
        // Hiding would put the earlier value back too (the dialog hides
        // before its command reads the box).
        if (hasAcceptableInput())
            QSpinBox::hideEvent(event);
        else
            QWidget::hideEvent(event);
    }

    void focusOutEvent(QFocusEvent* event) override
    {
        if (hasAcceptableInput()) {
            QSpinBox::focusOutEvent(event);
            return;
        }
        // The spin box would put its earlier value back here; the line edit
        // still learns that it lost the focus.
        QCoreApplication::sendEvent(lineEdit(), event);
        QWidget::focusOutEvent(event);
    }
};

} // namespace

QSpinBox* newLogNumberBox(QWidget* parent)
{
    auto* box = new LogNumberBox(parent);
    box->setRange(1, store::kLogCount);
    box->setValue(1);
    box->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    box->setAccelerated(true);
    return box;
}

int logNumberOf(const QSpinBox* box)
{
    return logNumberFromText(box->cleanText(), box->locale());
}

void centreOn(QWidget* window, const QWidget* over)
{
    QRect area;
    if (over && over->isVisible())
        area = over->frameGeometry();
    else if (QScreen* screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    if (area.isEmpty())
        return;
    QRect frame = window->frameGeometry();
    if (frame.isEmpty())
        frame = QRect(QPoint(), window->size());
    window->move(area.center() - QPoint(frame.width() / 2, frame.height() / 2));
}

} // namespace orvane::logedit

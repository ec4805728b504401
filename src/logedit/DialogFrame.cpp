#include "logedit/DialogFrame.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSpinBox>
#include <QWidget>

namespace orvane::logedit {

QSpinBox* newLogNumberBox(QWidget* parent)
{
    auto* box = new QSpinBox(parent);
    box->setRange(1, 99);
    box->setValue(1);
    box->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    box->setAccelerated(true);
    return box;
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

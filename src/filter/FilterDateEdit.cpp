#include "filter/FilterDateEdit.h"

#include "filter/ConditionInput.h"
#include "filter/FilterValues.h"
#include "store/CopiedValueText.h"

#include <QCalendarWidget>
#include <QDateTime>
#include <QFrame>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace orvane::filter {

FilterDateEdit::FilterDateEdit(QWidget* parent) : QWidget(parent)
{
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("edDate"));
    m_edit->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_button = new QToolButton(this);
    m_button->setObjectName(QStringLiteral("btnDropDown"));
    m_button->setArrowType(Qt::DownArrow);
    m_button->setFocusPolicy(Qt::NoFocus);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_edit, 1);
    layout->addWidget(m_button);
    setFocusProxy(m_edit);
    connect(m_button, &QToolButton::clicked, this, &FilterDateEdit::showPopup);
}

QVariant FilterDateEdit::value() const
{
    const QString text = m_edit->text();
    if (text.trimmed().isEmpty())
        return QVariant();
    const QVariant date = dateFromText(text);
    return isNullValue(date) ? QVariant(text) : date;
}

void FilterDateEdit::setValue(const QVariant& value)
{
    if (!isDateValue(value)) {
        m_edit->clear();
        return;
    }
    const QDateTime dt = dateValue(value);
    m_time = dt.time().isValid() ? dt.time() : QTime(0, 0);
    // The whole value, time of day included, so it reads back unchanged.
    m_edit->setText(store::copiedText(dt, store::FieldKind::Date));
}

void FilterDateEdit::pickDate(const QDate& date)
{
    // The time of day the box held stays with the new date.
    const QVariant held = value();
    if (isDateValue(held))
        m_time = dateValue(held).time();
    setValue(QDateTime(date, m_time));
    m_popup->hide();
}

void FilterDateEdit::showPopup()
{
    if (!m_popup) {
        m_popup = new QFrame(this, Qt::Popup);
        m_popup->setObjectName(QStringLiteral("DatePopup"));
        m_popup->setFrameShape(QFrame::Box);
        m_calendar = new QCalendarWidget(m_popup);
        m_calendar->setObjectName(QStringLiteral("Calendar"));
        m_calendar->setGridVisible(true);
        m_today = new QPushButton(QStringLiteral("Today"), m_popup);
        m_today->setObjectName(QStringLiteral("btnToday"));
        m_today->setAutoDefault(false);
        m_clear = new QPushButton(QStringLiteral("Clear"), m_popup);
        m_clear->setObjectName(QStringLiteral("btnClear"));
        m_clear->setAutoDefault(false);
        auto* buttons = new QHBoxLayout;
        buttons->addStretch(1);
        buttons->addWidget(m_today);
        buttons->addWidget(m_clear);
        buttons->addStretch(1);
        auto* layout = new QVBoxLayout(m_popup);
        layout->setContentsMargins(2, 2, 2, 4);
        layout->addWidget(m_calendar);
        layout->addLayout(buttons);
        connect(m_calendar, &QCalendarWidget::clicked, this, &FilterDateEdit::pickDate);
        connect(m_calendar, &QCalendarWidget::activated, this, &FilterDateEdit::pickDate);
        connect(m_today, &QPushButton::clicked, this, [this] { pickDate(QDate::currentDate()); });
        connect(m_clear, &QPushButton::clicked, this, [this] {
            m_edit->clear();
            m_popup->hide();
        });
    }
    const QVariant held = value();
    m_calendar->setSelectedDate(isDateValue(held) ? dateValue(held).date() : QDate::currentDate());
    m_popup->adjustSize();
    m_popup->move(mapToGlobal(QPoint(width() - m_popup->width(), height())));
    m_popup->show();
    m_calendar->setFocus();
}

} // namespace orvane::filter

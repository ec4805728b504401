#pragma once
// The date value box of the custom filter dialog: a text box for a date
// typed in the user's short date form (or ISO 8601), and a drop-down button
// that opens a calendar with the buttons "Today" and "Clear". A date picked
// from the calendar or "Today" keeps the time of day the box held.

#include <QVariant>
#include <QWidget>

#include <QTime>

class QCalendarWidget;
class QFrame;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace orvane::filter {

class FilterDateEdit : public QWidget {
    Q_OBJECT
public:
    explicit FilterDateEdit(QWidget* parent = nullptr);

    QLineEdit* lineEdit() const { return m_edit; }
    QToolButton* dropDownButton() const { return m_button; }

    // The box's value: null when empty, a date-time when the text reads as a
    // date, else the text itself (which then fits no date column).
    QVariant value() const;
    // Shows a date (null or empty clears the box) and keeps its time of day.
    void setValue(const QVariant& value);

    // The calendar drop-down (created on first use).
    void showPopup();
    QFrame* popup() const { return m_popup; }
    QCalendarWidget* calendar() const { return m_calendar; }
    QPushButton* todayButton() const { return m_today; }
    QPushButton* clearButton() const { return m_clear; }

private:
    void pickDate(const QDate& date);

    QLineEdit* m_edit;
    QToolButton* m_button;
    QFrame* m_popup = nullptr;
    QCalendarWidget* m_calendar = nullptr;
    QPushButton* m_today = nullptr;
    QPushButton* m_clear = nullptr;
    QTime m_time{0, 0};
};

} // namespace orvane::filter

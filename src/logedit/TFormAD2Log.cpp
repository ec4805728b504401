#include "logedit/TFormAD2Log.h"

#include "logedit/BulkCommands.h"
#include "logedit/DialogFrame.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

namespace orvane::logedit {

TFormAD2Log::TFormAD2Log(store::DataFieldList& fieldList, QWidget* parent)
    : QDialog(parent), m_fields(fieldList)
{
    setObjectName(QStringLiteral("TFormAD2Log"));
    setWindowTitle(QStringLiteral("Activity data => Log X"));

    auto* heading = new QLabel(QStringLiteral("Use this dialog to copy activity data to log"), this);
    heading->setGeometry(16, 12, 300, 16);
    auto* fieldLabel = new QLabel(QStringLiteral("Select data field to copy from"), this);
    fieldLabel->setGeometry(16, 38, 260, 16);
    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(false);
    ComboBox1->setMaxVisibleItems(20);
    ComboBox1->setGeometry(16, 56, 289, 24);
    fieldLabel->setBuddy(ComboBox1);
    auto* logLabel = new QLabel(QStringLiteral("Enter log number to copy to"), this);
    logLabel->setGeometry(16, 96, 180, 16);
    SpinEdit = newLogNumberBox(this);
    SpinEdit->setObjectName(QStringLiteral("SpinEdit"));
    SpinEdit->setGeometry(200, 92, 65, 24);
    logLabel->setBuddy(SpinEdit);

    OkBtn = new QPushButton(QStringLiteral("OK"), this);
    OkBtn->setObjectName(QStringLiteral("OkBtn"));
    OkBtn->setDefault(true);
    OkBtn->setGeometry(70, 132, 81, 26);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setGeometry(170, 132, 81, 26);
    connect(OkBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    setFixedSize(321, 172);
    FillFieldList();
}

void TFormAD2Log::FillFieldList()
{
    m_fields.fill();
    reloadFieldList();
}

void TFormAD2Log::reloadFieldList()
{
    if (m_shownRevision == m_fields.revision())
        return;
    ComboBox1->clear();
    ComboBox1->addItems(m_fields.captions());
    ComboBox1->setCurrentIndex(m_fields.size() > 0 ? m_fields.selected() : -1);
    m_shownRevision = m_fields.revision();
}

void TFormAD2Log::showEvent(QShowEvent* event)
{
    reloadFieldList();
    QDialog::showEvent(event);
}

void TFormAD2Log::done(int result)
{
    // The choice is kept for the next use, as the list's selection.
    if (ComboBox1->currentIndex() >= 0)
        m_fields.setSelected(ComboBox1->currentIndex());
    QDialog::done(result);
}

QString TFormAD2Log::statement() const
{
    const int index = ComboBox1->currentIndex();
    const QString field = index >= 0 && index < m_fields.size() ? m_fields.at(index).field() : QString();
    return dataToLogStatement(field, logNumberOf(SpinEdit));
}

} // namespace orvane::logedit

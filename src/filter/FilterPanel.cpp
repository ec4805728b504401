#include "filter/FilterPanel.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QToolButton>

namespace orvane::filter {

FilterPanel::FilterPanel(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("FilterPanel"));
    m_close = new QToolButton(this);
    m_close->setObjectName(QStringLiteral("btnClose"));
    m_close->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    m_close->setAutoRaise(true);
    m_active = new QCheckBox(this);
    m_active->setObjectName(QStringLiteral("cbActive"));
    m_text = new QLabel(this);
    m_text->setObjectName(QStringLiteral("lblFilterText"));
    m_text->setTextFormat(Qt::PlainText);
    m_customize = new QPushButton(QStringLiteral("Customize..."), this);
    m_customize->setObjectName(QStringLiteral("btnCustomize"));
    m_customize->setAutoDefault(false);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(m_close);
    layout->addWidget(m_active);
    layout->addWidget(m_text, 1);
    layout->addWidget(m_customize);

    connect(m_close, &QToolButton::clicked, this, &FilterPanel::closeClicked);
    connect(m_active, &QCheckBox::clicked, this, &FilterPanel::activeClicked);
    connect(m_customize, &QPushButton::clicked, this, &FilterPanel::customizeClicked);
}

void FilterPanel::showFilter(const QString& displayText, bool active, bool customizeShown, bool panelShown)
{
    m_text->setText(displayText.isEmpty() ? QStringLiteral("<Filter is Empty>") : displayText);
    {
        const QSignalBlocker block(m_active);
        m_active->setChecked(active);
    }
    m_customize->setVisible(customizeShown);
    setVisible(panelShown);
}

} // namespace orvane::filter

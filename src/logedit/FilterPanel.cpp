#include "logedit/FilterPanel.h"

#include "logedit/GridFilter.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QToolButton>

namespace orvane::logedit {

FilterPanel::FilterPanel(GridFilterLink& link, QWidget* parent) : QWidget(parent), m_link(link)
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

    // The close button clears every condition; Active stays as it is.
    connect(m_close, &QToolButton::clicked, this, [this] {
        m_link.run([this] {
            FilterChangeLock lock(m_link.criteria());
            m_link.criteria().ClearConditions();
        });
    });
    connect(m_active, &QCheckBox::clicked, this, [this](bool on) {
        m_link.run([this, on] {
            FilterChangeLock lock(m_link.criteria());
            m_link.criteria().SetActive(on);
        });
        refresh();
    });
    connect(m_customize, &QPushButton::clicked, this, [this] { m_link.run([this] { m_link.openBuilder(); }); });
    connect(&link, &GridFilterLink::filterChanged, this, &FilterPanel::refresh);
    // The text names columns by caption; an import re-captions the code columns.
    connect(&link.model(), &grid::GridViewModel::layoutChanged, this, &FilterPanel::refresh);
    refresh();
}

void FilterPanel::refresh()
{
    const TcxDBDataFilterCriteria& c = m_link.criteria();
    const QString text = c.BuildDisplayText();
    m_text->setText(text.isEmpty() ? QStringLiteral("<Filter is Empty>") : text);
    {
        const QSignalBlocker block(m_active);
        m_active->setChecked(c.Active());
    }
    m_customize->setVisible(m_link.CustomizeDialog);
    setVisible(m_link.panelShown());
}

} // namespace orvane::logedit

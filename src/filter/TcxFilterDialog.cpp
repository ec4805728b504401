#include "filter/TcxFilterDialog.h"

#include "filter/FilterDateEdit.h"
#include "filter/FilterDialogHost.h"
#include "grid/GridViewModel.h"

#include <QComboBox>
#include <QDateTime>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QVBoxLayout>

namespace orvane::filter {

TcxFilterDialog::TcxFilterDialog(FilterDialogHost& link, int columnId, QWidget* parent)
    : QDialog(parent), m_link(link), m_columnId(columnId)
{
    setObjectName(QStringLiteral("TcxFilterDialog"));
    setWindowTitle(QStringLiteral("Custom Filter"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    const auto column = link.criteria().Columns() ? link.criteria().Columns()->columnById(columnId) : std::nullopt;
    m_kind = int(column ? column->kind : store::FieldKind::Text);
    const auto kind = store::FieldKind(m_kind);

    lblTitle = new QLabel(QStringLiteral("Show rows where:"), this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    lblColumnCaption = new QLabel((column ? column->caption : QString()) + QLatin1Char(' '), this);
    lblColumnCaption->setObjectName(QStringLiteral("lblColumnCaption"));
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);

    cbOperator1 = new QComboBox(this);
    cbOperator1->setObjectName(QStringLiteral("cbOperator1"));
    cbOperator2 = new QComboBox(this);
    cbOperator2->setObjectName(QStringLiteral("cbOperator2"));
    cbOperator2->addItem(QString(), int(DisplayOperator::None));
    const QList<DisplayOperator> offered = offeredDisplayOperators(kind, false);
    for (DisplayOperator op : offered) {
        cbOperator1->addItem(displayOperatorText(op), int(op));
        cbOperator2->addItem(displayOperatorText(op), int(op));
    }
    cbOperator1->setMaxVisibleItems(cbOperator1->count());
    cbOperator2->setMaxVisibleItems(cbOperator2->count());
    edValue1 = newValueBox(QStringLiteral("edValue1"));
    edValue2 = newValueBox(QStringLiteral("edValue2"));
    rbAnd = new QRadioButton(QStringLiteral("AND"), this);
    rbAnd->setObjectName(QStringLiteral("rbAnd"));
    rbOr = new QRadioButton(QStringLiteral("OR"), this);
    rbOr->setObjectName(QStringLiteral("rbOr"));
    rbAnd->setChecked(true);
    const TcxDBDataFilterCriteria& c = link.criteria();
    lblSingle = new QLabel(QStringLiteral("Use ") + c.UnderscoreWildcard() + QStringLiteral(" to represent any single character"), this);
    lblSingle->setObjectName(QStringLiteral("lblSingle"));
    lblSeries = new QLabel(QStringLiteral("Use ") + c.PercentWildcard() + QStringLiteral(" to represent any series of characters"), this);
    lblSeries->setObjectName(QStringLiteral("lblSeries"));
    btnOK = new QPushButton(QStringLiteral("Ok"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblTitle);
    auto* captionRow = new QHBoxLayout;
    captionRow->addWidget(lblColumnCaption);
    captionRow->addWidget(line, 1);
    layout->addLayout(captionRow);
    auto* grid = new QGridLayout;
    grid->addWidget(cbOperator1, 0, 0);
    grid->addWidget(edValue1, 0, 1);
    auto* radios = new QHBoxLayout;
    radios->addWidget(rbAnd);
    radios->addWidget(rbOr);
    radios->addStretch(1);
    grid->addLayout(radios, 1, 0, 1, 2);
    grid->addWidget(cbOperator2, 2, 0);
    grid->addWidget(edValue2, 2, 1);
    grid->setColumnMinimumWidth(0, 180);
    grid->setColumnMinimumWidth(1, 180);
    layout->addLayout(grid);
    layout->addWidget(lblSingle);
    layout->addWidget(lblSeries);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(cbOperator1, edValue1);
    setTabOrder(edValue1, rbAnd);
    setTabOrder(rbAnd, rbOr);
    setTabOrder(rbOr, cbOperator2);
    setTabOrder(cbOperator2, edValue2);
    setTabOrder(edValue2, btnOK);
    setTabOrder(btnOK, btnCancel);

    connect(btnOK, &QPushButton::clicked, this, &TcxFilterDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &TcxFilterDialog::reject);

    // The first operator: "like" for text columns that offer it, else
    // "equals", else the first offered entry.
    DisplayOperator first = offered.value(0);
    if (kind == store::FieldKind::Text && offered.contains(DisplayOperator::Like))
        first = DisplayOperator::Like;
    else if (offered.contains(DisplayOperator::Equals))
        first = DisplayOperator::Equals;
    setOperator(1, first);
    setOperator(2, DisplayOperator::None);

    if (const TcxFilterCriteriaItem* condition = c.FindColumnCondition(columnId)) {
        setOperator(1, displayOperatorOf(*condition));
        setBoxValue(edValue1, condition->Value());
        const TcxFilterCriteriaItemList* group = condition->Parent();
        if (group && group != c.Root() && group->Count() > 1 && !group->Items(1)->IsItemList()) {
            const auto* second = static_cast<const TcxFilterCriteriaItem*>(group->Items(1));
            setOperator(2, displayOperatorOf(*second));
            setBoxValue(edValue2, second->Value());
            (group->BoolOperatorKind() == fboAnd ? rbAnd : rbOr)->setChecked(true);
        }
    }
    connect(cbOperator1, &QComboBox::currentIndexChanged, this, &TcxFilterDialog::operatorChanged);
    connect(cbOperator2, &QComboBox::currentIndexChanged, this, &TcxFilterDialog::operatorChanged);
    operatorChanged();

    adjustSize();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TcxFilterDialog::Execute(FilterDialogHost& link, int columnId)
{
    TcxFilterDialog dialog(link, columnId, link.dialogParent());
    dialog.exec();
    if (dialog.error())
        std::rethrow_exception(dialog.error());
}

QWidget* TcxFilterDialog::newValueBox(const QString& name)
{
    QWidget* box;
    if (store::FieldKind(m_kind) == store::FieldKind::Boolean) {
        auto* combo = new QComboBox(this);
        combo->addItem(grid::GridViewModel::displayTextOf(true, store::FieldKind::Boolean), true);
        combo->addItem(grid::GridViewModel::displayTextOf(false, store::FieldKind::Boolean), false);
        combo->setCurrentIndex(-1);
        box = combo;
    } else if (store::FieldKind(m_kind) == store::FieldKind::Date) {
        box = new FilterDateEdit(this);
    } else {
        auto* edit = new QLineEdit(this);
        edit->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        box = edit;
    }
    box->setObjectName(name);
    return box;
}

void TcxFilterDialog::setOperator(int row, DisplayOperator op)
{
    QComboBox* combo = row == 1 ? cbOperator1 : cbOperator2;
    const int index = combo->findData(int(op));
    combo->setCurrentIndex(index >= 0 ? index : 0);
}

DisplayOperator TcxFilterDialog::operatorOf(int row) const
{
    return DisplayOperator((row == 1 ? cbOperator1 : cbOperator2)->currentData().toInt());
}

void TcxFilterDialog::setValueText(int row, const QString& text)
{
    QWidget* box = row == 1 ? edValue1 : edValue2;
    if (auto* date = qobject_cast<FilterDateEdit*>(box))
        date->lineEdit()->setText(text);
    else if (auto* edit = qobject_cast<QLineEdit*>(box))
        edit->setText(text);
    else if (auto* combo = qobject_cast<QComboBox*>(box))
        combo->setCurrentIndex(combo->findText(text));
}

void TcxFilterDialog::setBoxValue(QWidget* box, const QVariant& value)
{
    if (auto* combo = qobject_cast<QComboBox*>(box)) {
        combo->setCurrentIndex(isNullValue(value) ? -1 : (value.toBool() ? 0 : 1));
        return;
    }
    if (auto* date = qobject_cast<FilterDateEdit*>(box)) {
        date->setValue(value);
        return;
    }
    auto* edit = qobject_cast<QLineEdit*>(box);
    if (isNullValue(value) || isEmptyValue(value) || isArray(value))
        edit->clear();
    else if (isDateValue(value))
        edit->setText(grid::GridViewModel::displayTextOf(dateValue(value), store::FieldKind::Date));
    else
        edit->setText(value.toString());
}

// The wildcard labels show while either operator is "like" or "not like";
// a row with another operator loses its wildcard characters.
void TcxFilterDialog::operatorChanged()
{
    const TcxDBDataFilterCriteria& c = m_link.criteria();
    const QString wildcards = QString(c.UnderscoreWildcard()) + c.PercentWildcard();
    const bool anyLike = isLikeOperator(operatorOf(1)) || isLikeOperator(operatorOf(2));
    lblSingle->setVisible(anyLike);
    lblSeries->setVisible(anyLike);
    for (int row = 1; row <= 2; ++row) {
        auto* edit = qobject_cast<QLineEdit*>(row == 1 ? edValue1 : edValue2);
        if (!edit)
            continue;
        if (isLikeOperator(operatorOf(row))) {
            edit->setValidator(nullptr);
        } else {
            QString text = edit->text();
            for (QChar w : wildcards)
                text.remove(w);
            edit->setText(text);
            const QString pattern = QStringLiteral("[^") + QRegularExpression::escape(wildcards) + QStringLiteral("]*");
            edit->setValidator(new QRegularExpressionValidator(QRegularExpression(pattern), edit));
        }
    }
}

QVariant TcxFilterDialog::valueOf(int row) const
{
    QWidget* box = row == 1 ? edValue1 : edValue2;
    if (auto* combo = qobject_cast<QComboBox*>(box))
        return combo->currentIndex() < 0 ? QVariant() : combo->currentData();
    if (auto* date = qobject_cast<FilterDateEdit*>(box))
        return date->value();
    return qobject_cast<QLineEdit*>(box)->text();
}

QString TcxFilterDialog::textOf(int row) const
{
    QWidget* box = row == 1 ? edValue1 : edValue2;
    if (auto* combo = qobject_cast<QComboBox*>(box))
        return combo->currentText();
    if (auto* date = qobject_cast<FilterDateEdit*>(box))
        return date->lineEdit()->text();
    return qobject_cast<QLineEdit*>(box)->text();
}

void TcxFilterDialog::accept()
{
    const auto kind = store::FieldKind(m_kind);
    btnOK->setFocus();
    QVariant values[2];
    QString texts[2];
    for (int row = 1; row <= 2; ++row) {
        QVariant v = valueOf(row);
        if (v.metaType().id() == QMetaType::QString && v.toString().isEmpty() && kind != store::FieldKind::Text)
            v = QVariant();
        const DisplayOperator op = operatorOf(row);
        // A value that does not fit the column, and a blank value that only
        // equality can test ("> NULL" selects nothing the engine can read),
        // are refused here, while the criteria are still as they were.
        const bool misfit = !isNullValue(v) && !isLikeOperator(op) && !convertsToFieldKind(v, kind);
        const bool blankOrdering = isNullValue(v) && isOrderingOperator(op);
        if (misfit || blankOrdering) {
            QWidget* box = row == 1 ? edValue1 : edValue2;
            box->setFocus();
            m_link.reportError(QStringLiteral("Invalid value"));
            return;
        }
        values[row - 1] = v;
        texts[row - 1] = textOf(row);
    }

    TcxDBDataFilterCriteria& c = m_link.criteria();
    auto add = [&](TcxFilterCriteriaItemList* group, int row) {
        const DisplayOperator op = operatorOf(row);
        if (op == DisplayOperator::None)
            return;
        const QVariant& v = values[row - 1];
        if (isBlankTest(op)) {
            c.AddCondition(group, m_columnId, kindOfDisplayOperator(op), QStringLiteral("blank"), QVariant());
            return;
        }
        const bool blank = isNullValue(v) || (v.metaType().id() == QMetaType::QString && v.toString().isEmpty());
        c.AddCondition(group, m_columnId, kindOfDisplayOperator(op), blank ? QStringLiteral("blank") : texts[row - 1], v);
    };
    try {
        FilterChangeLock lock(c);
        c.Root()->SetBoolOperatorKind(fboAnd);
        c.RemoveColumnConditions(m_columnId);
        if (operatorOf(2) != DisplayOperator::None) {
            TcxFilterCriteriaItemList* group = c.AddGroup(nullptr, rbOr->isChecked() ? fboOr : fboAnd);
            add(group, 1);
            add(group, 2);
        } else {
            add(nullptr, 1);
        }
        c.SetActive(true);
    } catch (...) {
        m_error = std::current_exception();
    }
    QDialog::accept();
}

} // namespace orvane::filter

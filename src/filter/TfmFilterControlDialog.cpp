#include "filter/TfmFilterControlDialog.h"

#include "common/Errors.h"
#include "filter/FilterDialogHost.h"
#include "filter/FilterStream.h"
#include "grid/GridViewModel.h"

#include <QComboBox>
#include <QDateTime>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace orvane::filter {

namespace {

// Position and size of the builder, kept from one use to the next.
QRect g_lastGeometry;

const char* const kBoolWords[] = {"AND", "OR", "NOT AND", "NOT OR"};


QString textOfValue(const QVariant& v, store::FieldKind kind)
{
    if (isNullValue(v) || isEmptyValue(v))
        return QString();
    if (isDateValue(v))
        return grid::GridViewModel::displayTextOf(dateValue(v), store::FieldKind::Date);
    if (kind == store::FieldKind::Boolean && v.metaType().id() == QMetaType::Bool)
        return grid::GridViewModel::displayTextOf(v, store::FieldKind::Boolean);
    return v.toString();
}

// A value box's text as a value of the column's kind; empty gives null.
QVariant valueOfText(const QString& text, store::FieldKind kind)
{
    if (text.isEmpty())
        return QVariant();
    switch (kind) {
    case store::FieldKind::Date:
        return dateFromText(text);
    case store::FieldKind::Boolean:
        if (text == grid::GridViewModel::displayTextOf(true, store::FieldKind::Boolean))
            return true;
        if (text == grid::GridViewModel::displayTextOf(false, store::FieldKind::Boolean))
            return false;
        return QVariant();
    default:
        return text;
    }
}

// Whether a is smaller than b, compared as values of the column's kind.
bool smaller(const QVariant& a, const QVariant& b, store::FieldKind kind)
{
    if (isNullValue(a) || isNullValue(b))
        return isNullValue(a) && !isNullValue(b);
    if (kind == store::FieldKind::Number) {
        bool okA = false, okB = false;
        const double x = QLocale().toDouble(a.toString(), &okA);
        const double y = QLocale().toDouble(b.toString(), &okB);
        if (okA && okB)
            return x < y;
    }
    if (isDateValue(a) && isDateValue(b))
        return dateValue(a) < dateValue(b);
    return QVariant::compare(a, b) == QPartialOrdering::Less;
}

} // namespace

TfmFilterControlDialog::TfmFilterControlDialog(FilterDialogHost& link, QWidget* parent)
    : QDialog(parent), m_link(link), m_fileName(QStringLiteral("untitled.flt"))
{
    setObjectName(QStringLiteral("TfmFilterControlDialog"));
    setSizeGripEnabled(true);
    setMinimumSize(520, 165);
    m_root.group = true;
    const TcxDBDataFilterCriteria& view = link.criteria();
    m_editor = std::make_unique<TcxDBDataFilterCriteria>(view.Columns());
    m_editor->SetOptions(view.Options());
    m_editor->SetPercentWildcard(view.PercentWildcard());
    m_editor->SetUnderscoreWildcard(view.UnderscoreWildcard());
    m_editor->SetDateTimeFormat(view.DateTimeFormat());
    m_editor->SetLocale(view.Locale());

    tree = new QTreeWidget(this);
    tree->setObjectName(QStringLiteral("cxFilterControl"));
    tree->setHeaderHidden(true);
    tree->setColumnCount(1);
    tree->setSelectionMode(QAbstractItemView::NoSelection);
    tree->setFocusPolicy(Qt::NoFocus);
    btOpen = new QPushButton(QStringLiteral("&Open..."), this);
    btOpen->setObjectName(QStringLiteral("btOpen"));
    btSave = new QPushButton(QStringLiteral("Save &As..."), this);
    btSave->setObjectName(QStringLiteral("btSave"));
    btOk = new QPushButton(QStringLiteral("Ok"), this);
    btOk->setObjectName(QStringLiteral("btOk"));
    btCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btCancel->setObjectName(QStringLiteral("btCancel"));
    btApply = new QPushButton(QStringLiteral("&Apply"), this);
    btApply->setObjectName(QStringLiteral("btApply"));
    for (QPushButton* b : {btOpen, btSave, btOk, btCancel, btApply})
        b->setAutoDefault(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tree, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btOpen);
    buttons->addWidget(btSave);
    buttons->addStretch(1);
    buttons->addWidget(btOk);
    buttons->addWidget(btCancel);
    buttons->addWidget(btApply);
    layout->addLayout(buttons);

    connect(btOk, &QPushButton::clicked, this, [this] {
        apply();
        accept();
    });
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btApply, &QPushButton::clicked, this, [this] { apply(); });
    connect(btOpen, &QPushButton::clicked, this, [this] {
        QFileDialog dialog(this, QStringLiteral("Open an existing filter"));
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setNameFilter(QStringLiteral("Filters (*.flt)"));
        dialog.setDefaultSuffix(QStringLiteral("flt"));
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
            const QString path = dialog.selectedFiles().first();
            m_link.run([this, &path] { openFile(path); });
        }
    });
    connect(btSave, &QPushButton::clicked, this, [this] {
        QFileDialog dialog(this, QStringLiteral("Save the active filter to file"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setNameFilter(QStringLiteral("Filters (*.flt)"));
        dialog.setDefaultSuffix(QStringLiteral("flt"));
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
            const QString path = dialog.selectedFiles().first();
            m_link.run([this, &path] { saveFile(path); });
        }
    });

    // The editor starts from a copy of the grid's criteria.
    ReadCriteria(*m_editor, WriteCriteria(view));
    loadRows();
    updateCaption();

    if (g_lastGeometry.isValid()) {
        setGeometry(g_lastGeometry);
    } else {
        resize(std::max(620, minimumWidth()), 320);
        if (QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
    }
}

TfmFilterControlDialog::~TfmFilterControlDialog() = default;

void TfmFilterControlDialog::Execute(FilterDialogHost& link)
{
    TfmFilterControlDialog dialog(link, link.dialogParent());
    dialog.exec();
    if (dialog.error())
        std::rethrow_exception(dialog.error());
}

void TfmFilterControlDialog::done(int result)
{
    g_lastGeometry = geometry();
    QDialog::done(result);
}

void TfmFilterControlDialog::updateCaption()
{
    setWindowTitle(QStringLiteral("%1 - [%2]").arg(QStringLiteral("Filter builder"), m_fileName));
}

void TfmFilterControlDialog::keepError()
{
    if (!m_error)
        m_error = std::current_exception();
}

// --- rows

TfmFilterControlDialog::Row* TfmFilterControlDialog::addCondition(Row* row)
{
    Row* group = row->group ? row : row->parent;
    auto condition = std::make_unique<Row>();
    condition->parent = group;
    condition->columnId = 0;
    const auto& model = m_link.model();
    for (int id = 0; id < model.columnCount(); ++id) {
        if (model.columnById(id)) {
            condition->columnId = id;
            break;
        }
    }
    condition->op = DisplayOperator::None;
    setColumn(condition.get(), condition->columnId);
    Row* result = condition.get();
    group->children.push_back(std::move(condition));
    scheduleRefresh();
    return result;
}

TfmFilterControlDialog::Row* TfmFilterControlDialog::addGroup(Row* row)
{
    Row* parent = row->group ? row : row->parent;
    auto group = std::make_unique<Row>();
    group->group = true;
    group->boolKind = fboAnd;
    group->parent = parent;
    Row* result = group.get();
    parent->children.push_back(std::move(group));
    addCondition(result);
    return result;
}

void TfmFilterControlDialog::removeRow(Row* row)
{
    while (row && row != &m_root) {
        Row* parent = row->parent;
        auto& list = parent->children;
        list.erase(std::remove_if(list.begin(), list.end(), [row](const auto& r) { return r.get() == row; }),
                   list.end());
        row = (parent != &m_root && parent->children.empty()) ? parent : nullptr;
    }
    scheduleRefresh();
}

void TfmFilterControlDialog::clearAll()
{
    m_root.children.clear();
    m_root.boolKind = fboAnd;
    scheduleRefresh();
}

void TfmFilterControlDialog::setColumn(Row* condition, int columnId)
{
    condition->columnId = columnId;
    const auto column = m_editor->Columns() ? m_editor->Columns()->columnById(columnId) : std::nullopt;
    const QList<DisplayOperator> offered =
        offeredDisplayOperators(column ? column->kind : store::FieldKind::Text, true);
    condition->op = offered.value(0, DisplayOperator::Equals);
    condition->values = QStringList(QString());
    if (takesNoValue(condition->op))
        condition->values.clear();
    scheduleRefresh();
}

void TfmFilterControlDialog::setOperator(Row* condition, DisplayOperator op)
{
    const bool wasList = isListOperator(condition->op);
    condition->op = op;
    if (takesNoValue(op)) {
        condition->values.clear();
    } else {
        QStringList kept = condition->values.mid(0, 1);
        if (wasList && isListOperator(op))
            kept = condition->values;
        if (kept.isEmpty())
            kept << QString();
        if (isRangeOperator(op))
            kept << QString();
        condition->values = kept;
    }
    scheduleRefresh();
}

void TfmFilterControlDialog::setBoolKind(Row* group, int kind)
{
    group->boolKind = kind;
    scheduleRefresh();
}

void TfmFilterControlDialog::setValue(Row* condition, int index, const QString& text)
{
    while (condition->values.size() <= index)
        condition->values << QString();
    condition->values[index] = text;
}

QStringList TfmFilterControlDialog::rowTexts() const
{
    QStringList lines;
    std::function<void(const Row&, int)> walk = [&](const Row& row, int depth) {
        for (const auto& child : row.children) {
            const QString indent(depth * 2, QLatin1Char(' '));
            if (child->group) {
                lines << indent + QString::fromLatin1(kBoolWords[child->boolKind])
                             + QStringLiteral(" applies to the following conditions");
                walk(*child, depth + 1);
                continue;
            }
            const auto column = m_editor->Columns() ? m_editor->Columns()->columnById(child->columnId) : std::nullopt;
            QString line = indent + (column ? column->caption : QString()) + QLatin1Char(' ')
                           + displayOperatorText(child->op);
            auto shown = [](const QString& v) { return v.isEmpty() ? QStringLiteral("<empty>") : v; };
            if (isRangeOperator(child->op))
                line += QLatin1Char(' ') + shown(child->values.value(0)) + QStringLiteral(" and ")
                        + shown(child->values.value(1));
            else if (isListOperator(child->op)) {
                QStringList items;
                for (const QString& v : child->values)
                    items << shown(v);
                line += QStringLiteral(" (") + items.join(QStringLiteral(", ")) + QLatin1Char(')');
            } else if (!takesNoValue(child->op))
                line += QLatin1Char(' ') + shown(child->values.value(0));
            lines << line;
        }
    };
    lines << QStringLiteral("Filter ") + QString::fromLatin1(kBoolWords[m_root.boolKind]) + QStringLiteral(" <root>");
    walk(m_root, 1);
    return lines;
}

// Rows from the editor's criteria. A condition whose column the view does
// not have cannot be shown.
void TfmFilterControlDialog::loadRows()
{
    Row fresh;
    std::function<void(const TcxFilterCriteriaItemList&, Row&)> walk = [&](const TcxFilterCriteriaItemList& list, Row& row) {
        row.boolKind = list.BoolOperatorKind();
        for (int i = 0; i < list.Count(); ++i) {
            auto child = std::make_unique<Row>();
            child->parent = &row;
            const TcxCustomFilterCriteriaItem* item = list.Items(i);
            if (item->IsItemList()) {
                child->group = true;
                walk(static_cast<const TcxFilterCriteriaItemList&>(*item), *child);
            } else {
                const auto& condition = static_cast<const TcxFilterCriteriaItem&>(*item);
                const auto column = condition.Column();
                if (!column || !m_link.model().columnById(condition.ColumnId()))
                    throw OrvaneError(QStringLiteral("Can't build filter from source"));
                child->columnId = condition.ColumnId();
                child->op = displayOperatorOf(condition);
                const QVariant& v = condition.Value();
                if (takesNoValue(child->op)) {
                } else if (isArray(v)) {
                    for (const QVariant& e : v.toList())
                        child->values << textOfValue(e, column->kind);
                } else {
                    child->values << textOfValue(v, column->kind);
                }
            }
            row.children.push_back(std::move(child));
        }
    };
    walk(*m_editor->Root(), fresh);
    m_root.children = std::move(fresh.children);
    for (auto& child : m_root.children)
        child->parent = &m_root;
    m_root.boolKind = fresh.boolKind;
    refreshTree();
}

void TfmFilterControlDialog::buildConditions()
{
    TcxDBDataFilterCriteria& c = *m_editor;
    FilterChangeLock lock(c);
    c.ClearConditions();
    c.Root()->SetBoolOperatorKind(TcxFilterBoolOperatorKind(m_root.boolKind));
    std::function<void(const Row&, TcxFilterCriteriaItemList*)> walk = [&](const Row& row, TcxFilterCriteriaItemList* group) {
        for (const auto& child : row.children) {
            if (child->group) {
                walk(*child, c.AddGroup(group, TcxFilterBoolOperatorKind(child->boolKind)));
                continue;
            }
            const auto column = c.Columns() ? c.Columns()->columnById(child->columnId) : std::nullopt;
            const store::FieldKind kind = column ? column->kind : store::FieldKind::Text;
            const DisplayOperator op = child->op;
            const TcxFilterOperatorKind opKind = kindOfDisplayOperator(op);
            if (isBlankTest(op)) {
                c.AddCondition(group, child->columnId, opKind, QStringLiteral("blank"), QVariant());
            } else if (isRangeOperator(op)) {
                QVariant a = valueOfText(child->values.value(0), kind);
                QVariant b = valueOfText(child->values.value(1), kind);
                if (!smaller(a, b, kind))
                    std::swap(a, b);
                const QString text = textOfValue(a, kind) + QLatin1Char(';') + textOfValue(b, kind);
                c.AddCondition(group, child->columnId, opKind, text, QVariantList{a, b});
            } else if (isListOperator(op)) {
                QVariantList values;
                QStringList texts;
                for (const QString& t : child->values) {
                    values << valueOfText(t, kind);
                    texts << textOfValue(values.last(), kind);
                }
                c.AddCondition(group, child->columnId, opKind, texts.join(QLatin1Char(';')), values);
            } else {
                const QVariant v = valueOfText(child->values.value(0), kind);
                const QString text = textOfValue(v, kind);
                c.AddCondition(group, child->columnId, opKind, text.isEmpty() ? QStringLiteral("blank") : text, v);
            }
        }
    };
    walk(m_root, nullptr);
}

void TfmFilterControlDialog::apply()
{
    buildConditions();
    TcxDBDataFilterCriteria& view = m_link.criteria();
    try {
        FilterChangeLock lock(view);
        ReadCriteria(view, WriteCriteria(*m_editor));
        view.SetActive(true);
    } catch (...) {
        keepError();
    }
    ReadCriteria(*m_editor, WriteCriteria(view));
    loadRows();
}

void TfmFilterControlDialog::saveFile(const QString& path)
{
    buildConditions();
    saveCriteriaFile(*m_editor, path);
    m_fileName = path;
    updateCaption();
}

void TfmFilterControlDialog::openFile(const QString& path)
{
    loadCriteriaFile(*m_editor, path);
    m_fileName = path;
    updateCaption();
    loadRows();
}

// --- the tree widget

void TfmFilterControlDialog::scheduleRefresh()
{
    if (m_refreshPending)
        return;
    m_refreshPending = true;
    QMetaObject::invokeMethod(this, [this] { refreshTree(); }, Qt::QueuedConnection);
}

void TfmFilterControlDialog::refreshTree()
{
    m_refreshPending = false;
    tree->clear();
    auto* rootItem = new QTreeWidgetItem(tree);
    tree->setItemWidget(rootItem, 0, rowWidget(m_root));
    addTreeRows(rootItem, m_root);
    auto* last = new QTreeWidgetItem(rootItem);
    auto* lastWidget = new QWidget;
    auto* lastLayout = new QHBoxLayout(lastWidget);
    lastLayout->setContentsMargins(0, 0, 0, 0);
    auto* add = new QToolButton(lastWidget);
    add->setObjectName(QStringLiteral("btnAddCondition"));
    add->setText(QStringLiteral("..."));
    connect(add, &QToolButton::clicked, this, [this] {
        Row* lastRow = &m_root;
        while (!lastRow->children.empty())
            lastRow = lastRow->children.back().get();
        addCondition(lastRow);
    });
    lastLayout->addWidget(add);
    lastLayout->addWidget(new QLabel(QStringLiteral("press the button to add a new condition"), lastWidget));
    lastLayout->addStretch(1);
    tree->setItemWidget(last, 0, lastWidget);
    tree->expandAll();
}

void TfmFilterControlDialog::addTreeRows(QTreeWidgetItem* parentItem, Row& row)
{
    for (auto& child : row.children) {
        auto* item = new QTreeWidgetItem(parentItem);
        tree->setItemWidget(item, 0, rowWidget(*child));
        if (child->group)
            addTreeRows(item, *child);
    }
}

QWidget* TfmFilterControlDialog::rowButton(Row& row)
{
    auto* button = new QToolButton;
    button->setText(&row == &m_root ? QStringLiteral("Filter") : QStringLiteral("..."));
    button->setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(button);
    Row* r = &row;
    menu->addAction(QStringLiteral("Add &Condition"), this, [this, r] { addCondition(r); });
    menu->addAction(QStringLiteral("Add &Group"), this, [this, r] { addGroup(r); });
    if (r != &m_root) {
        menu->addSeparator();
        menu->addAction(QStringLiteral("&Remove Row"), this, [this, r] { removeRow(r); });
    } else if (!m_root.children.empty()) {
        menu->addSeparator();
        menu->addAction(QStringLiteral("Clear &All"), this, [this] { clearAll(); });
    }
    button->setMenu(menu);
    return button;
}

QWidget* TfmFilterControlDialog::rowWidget(Row& row)
{
    auto* w = new QWidget;
    auto* layout = new QHBoxLayout(w);
    layout->setContentsMargins(0, 0, 0, 0);
    QWidget* button = rowButton(row);
    button->setParent(w);
    layout->addWidget(button);
    Row* r = &row;
    if (row.group) {
        auto* word = new QComboBox(w);
        for (const char* text : kBoolWords)
            word->addItem(QString::fromLatin1(text));
        word->setCurrentIndex(row.boolKind);
        connect(word, &QComboBox::currentIndexChanged, this, [this, r](int k) { setBoolKind(r, k); });
        layout->addWidget(word);
        layout->addWidget(new QLabel(&row == &m_root ? QStringLiteral("<root>")
                                                     : QStringLiteral("applies to the following conditions"),
                                     w));
        layout->addStretch(1);
        return w;
    }
    const auto& model = m_link.model();
    auto* column = new QComboBox(w);
    for (int id = 0; id < model.columnCount(); ++id)
        column->addItem(model.columnCaption(id), id);
    column->setCurrentIndex(column->findData(row.columnId));
    connect(column, &QComboBox::currentIndexChanged, this,
            [this, r, column](int) { setColumn(r, column->currentData().toInt()); });
    layout->addWidget(column);
    const auto info = m_editor->Columns() ? m_editor->Columns()->columnById(row.columnId) : std::nullopt;
    auto* op = new QComboBox(w);
    for (DisplayOperator offered : offeredDisplayOperators(info ? info->kind : store::FieldKind::Text, true))
        op->addItem(displayOperatorText(offered), int(offered));
    op->setCurrentIndex(op->findData(int(row.op)));
    connect(op, &QComboBox::currentIndexChanged, this,
            [this, r, op](int) { setOperator(r, DisplayOperator(op->currentData().toInt())); });
    layout->addWidget(op);
    if (isListOperator(row.op))
        layout->addWidget(new QLabel(QStringLiteral("("), w));
    for (int i = 0; i < row.values.size(); ++i) {
        if (i > 0)
            layout->addWidget(new QLabel(isRangeOperator(row.op) ? QStringLiteral("and") : QStringLiteral(", "), w));
        if (info && info->kind == store::FieldKind::Boolean) {
            // A true/false column chooses between its two display texts.
            auto* box = new QComboBox(w);
            box->addItem(QStringLiteral("<empty>"), QString());
            for (bool b : {true, false}) {
                const QString text = grid::GridViewModel::displayTextOf(b, store::FieldKind::Boolean);
                box->addItem(text, text);
            }
            box->setCurrentIndex(std::max(0, box->findData(row.values[i])));
            connect(box, &QComboBox::currentIndexChanged, this,
                    [this, r, i, box](int) { setValue(r, i, box->currentData().toString()); });
            layout->addWidget(box);
            continue;
        }
        auto* edit = new QLineEdit(row.values[i], w);
        edit->setPlaceholderText(QStringLiteral("<empty>"));
        connect(edit, &QLineEdit::textEdited, this, [this, r, i](const QString& t) { setValue(r, i, t); });
        layout->addWidget(edit);
    }
    if (isListOperator(row.op)) {
        layout->addWidget(new QLabel(QStringLiteral(")"), w));
        auto* more = new QToolButton(w);
        more->setText(QStringLiteral("+"));
        connect(more, &QToolButton::clicked, this, [this, r] {
            r->values << QString();
            scheduleRefresh();
        });
        layout->addWidget(more);
    }
    layout->addStretch(1);
    return w;
}

} // namespace orvane::filter

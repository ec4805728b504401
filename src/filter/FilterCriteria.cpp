#include "filter/FilterCriteria.h"

#include "common/Errors.h"

namespace orvane::filter {

void throwFilterOptionsNotSupported()
{
    throw DatabaseError(QStringLiteral("FilterOptions are not supported"));
}

// --- nodes

TcxCustomFilterCriteriaItem::TcxCustomFilterCriteriaItem(TcxDBDataFilterCriteria& criteria,
                                                         TcxFilterCriteriaItemList* parent)
    : m_criteria(criteria), m_parent(parent)
{
    if (parent)
        parent->m_items.append(this);
}

TcxCustomFilterCriteriaItem::~TcxCustomFilterCriteriaItem()
{
    // Searched from the end: clearing a group frees its children last first,
    // which stays linear however many there are.
    if (m_parent) {
        const qsizetype at = m_parent->m_items.lastIndexOf(this);
        if (at >= 0)
            m_parent->m_items.removeAt(at);
    }
}

TcxFilterCriteriaItemList::TcxFilterCriteriaItemList(TcxDBDataFilterCriteria& criteria,
                                                     TcxFilterCriteriaItemList* parent,
                                                     TcxFilterBoolOperatorKind kind)
    : TcxCustomFilterCriteriaItem(criteria, parent), m_kind(kind)
{
}

TcxFilterCriteriaItemList::~TcxFilterCriteriaItemList()
{
    const auto items = m_items;
    m_items.clear();
    for (TcxCustomFilterCriteriaItem* item : items) {
        item->m_parent = nullptr;
        delete item;
    }
}

void TcxFilterCriteriaItemList::SetBoolOperatorKind(TcxFilterBoolOperatorKind kind)
{
    if (kind == m_kind)
        return;
    m_kind = kind;
    Criteria().Changed();
}

TcxFilterCriteriaItem::TcxFilterCriteriaItem(TcxDBDataFilterCriteria& criteria,
                                             TcxFilterCriteriaItemList* parent, int columnId,
                                             TcxFilterOperatorKind kind, const QString& displayText,
                                             const QVariant& value)
    : TcxCustomFilterCriteriaItem(criteria, parent), m_displayText(displayText),
      m_columnId(columnId), m_kind(kind), m_value(value)
{
    rebuildOperator();
}

TcxFilterCriteriaItem::~TcxFilterCriteriaItem() = default;

void TcxFilterCriteriaItem::rebuildOperator()
{
    m_operator = Criteria().CreateOperator(*this);
    if (dynamic_cast<TcxFilterNullOperator*>(m_operator.get()) && m_displayText.isEmpty())
        m_displayText = QStringLiteral("blank");
    m_operator->Prepare();
}

std::optional<FilterColumn> TcxFilterCriteriaItem::Column() const
{
    const FilterColumnSource* columns = Criteria().Columns();
    if (!columns || m_columnId < 0)
        return std::nullopt;
    return columns->columnById(m_columnId);
}

void TcxFilterCriteriaItem::SetValue(const QVariant& value, const QString& displayText)
{
    m_value = value;
    m_displayText = displayText;
    rebuildOperator();
    Criteria().Changed();
}

namespace {
bool isPlainIdentifier(const QString& name)
{
    if (name.isEmpty())
        return false;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name.at(i).unicode();
        const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_';
        const bool digit = c >= u'0' && c <= u'9';
        if (!(letter || (i > 0 && digit)))
            return false;
    }
    return true;
}
} // namespace

QString TcxFilterCriteriaItem::FieldText() const
{
    const auto column = Column();
    if (!column || column->fieldName.isEmpty())
        return {};
    // Columns are named by their field name alone; the view's fields carry
    // no other origin.
    if (isPlainIdentifier(column->fieldName))
        return column->fieldName;
    return QLatin1Char('[') + column->fieldName + QLatin1Char(']');
}

QString TcxFilterCriteriaItem::FilterText() const
{
    return m_operator->WriteCondition(FieldText());
}

QString TcxFilterCriteriaItem::DisplayText() const
{
    const auto column = Column();
    const TcxFilterOperator& op = *m_operator;
    const bool description = Criteria().Options().testFlag(fcoShowOperatorDescription)
                             || op.IsDescription();
    QString text = (column ? column->caption : QString()) + QLatin1Char(' ')
                   + (description ? op.Description() : op.Symbol());
    const QString value = op.AdjustDisplayValue(m_displayText);
    if (!value.isEmpty())
        text += QLatin1Char(' ') + value;
    return text;
}

// --- criteria

TcxDBDataFilterCriteria::TcxDBDataFilterCriteria(const FilterColumnSource* columns, QObject* parent)
    : QObject(parent), m_columns(columns)
{
    m_root.reset(new TcxFilterCriteriaItemList(*this, nullptr, fboAnd));
}

TcxDBDataFilterCriteria::~TcxDBDataFilterCriteria()
{
    m_destroying = true;
    m_root.reset();
}

QDate TcxDBDataFilterCriteria::CurrentDate() const
{
    return m_today ? m_today() : QDate::currentDate();
}

bool TcxDBDataFilterCriteria::IsValueNull(const QVariant& value) const
{
    if (isNullValue(value))
        return true;
    return m_options.testFlag(fcoSoftNull) && value.metaType().id() == QMetaType::QString
           && value.toString().isEmpty();
}

std::unique_ptr<TcxFilterOperator> TcxDBDataFilterCriteria::CreateOperator(TcxFilterCriteriaItem& c) const
{
    const TcxFilterOperatorKind kind = c.OperatorKind();
    const bool null = IsValueNull(c.Value());
    if (null && (kind == foEqual || kind == foLike || kind == foNotEqual || kind == foNotLike)) {
        if (kind == foEqual || kind == foLike)
            return std::make_unique<TcxFilterNullOperator>(c);
        return std::make_unique<TcxFilterNotNullOperator>(c);
    }
    switch (kind) {
    case foEqual: return std::make_unique<TcxFilterEqualOperator>(c);
    case foNotEqual: return std::make_unique<TcxFilterNotEqualOperator>(c);
    case foLess: return std::make_unique<TcxFilterLessOperator>(c);
    case foLessEqual: return std::make_unique<TcxFilterLessEqualOperator>(c);
    case foGreater: return std::make_unique<TcxFilterGreaterOperator>(c);
    case foGreaterEqual: return std::make_unique<TcxFilterGreaterEqualOperator>(c);
    case foLike: return std::make_unique<TcxFilterLikeOperator>(c);
    case foNotLike: return std::make_unique<TcxFilterNotLikeOperator>(c);
    case foBetween: return std::make_unique<TcxFilterBetweenOperator>(c);
    case foNotBetween: return std::make_unique<TcxFilterNotBetweenOperator>(c);
    case foInList: return std::make_unique<TcxFilterInListOperator>(c);
    case foNotInList: return std::make_unique<TcxFilterNotInListOperator>(c);
    case foYesterday: return std::make_unique<TcxFilterYesterdayOperator>(c);
    case foToday: return std::make_unique<TcxFilterTodayOperator>(c);
    case foTomorrow: return std::make_unique<TcxFilterTomorrowOperator>(c);
    case foLastWeek: return std::make_unique<TcxFilterLastWeekOperator>(c);
    case foLastMonth: return std::make_unique<TcxFilterLastMonthOperator>(c);
    case foLastYear: return std::make_unique<TcxFilterLastYearOperator>(c);
    case foThisWeek: return std::make_unique<TcxFilterThisWeekOperator>(c);
    case foThisMonth: return std::make_unique<TcxFilterThisMonthOperator>(c);
    case foThisYear: return std::make_unique<TcxFilterThisYearOperator>(c);
    case foNextWeek: return std::make_unique<TcxFilterNextWeekOperator>(c);
    case foNextMonth: return std::make_unique<TcxFilterNextMonthOperator>(c);
    case foNextYear: return std::make_unique<TcxFilterNextYearOperator>(c);
    }
    return std::make_unique<TcxFilterEqualOperator>(c);
}

TcxFilterCriteriaItem* TcxDBDataFilterCriteria::AddCondition(TcxFilterCriteriaItemList* group, int columnId,
                                                             TcxFilterOperatorKind kind,
                                                             const QString& displayText,
                                                             const QVariant& value)
{
    FilterChangeLock lock(*this);
    return new TcxFilterCriteriaItem(*this, group ? group : m_root.get(), columnId, kind, displayText, value);
}

TcxFilterCriteriaItemList* TcxDBDataFilterCriteria::AddGroup(TcxFilterCriteriaItemList* parent,
                                                             TcxFilterBoolOperatorKind kind)
{
    auto* group = new TcxFilterCriteriaItemList(*this, parent ? parent : m_root.get(), kind);
    Changed();
    return group;
}

void TcxDBDataFilterCriteria::RemoveItem(TcxCustomFilterCriteriaItem* item)
{
    if (!item || item == m_root.get())
        return;
    delete item;
    Changed();
}

void TcxDBDataFilterCriteria::moveToEnd(TcxCustomFilterCriteriaItem* node, TcxFilterCriteriaItemList* newParent)
{
    if (node->m_parent)
        node->m_parent->m_items.removeOne(node);
    node->m_parent = newParent;
    newParent->m_items.append(node);
}

void TcxDBDataFilterCriteria::RemoveColumnConditions(int columnId)
{
    BeginChange();
    bool removed = false;
    while (TcxFilterCriteriaItem* condition = FindColumnCondition(columnId)) {
        TcxFilterCriteriaItemList* parent = condition->Parent();
        delete condition;
        removed = true;
        if (parent == m_root.get())
            continue;
        if (parent->IsEmpty()) {
            delete parent;
        } else if (parent->Count() == 1) {
            moveToEnd(parent->Items(0), parent->Parent());
            delete parent;
        }
    }
    // Announces only when something went.
    --m_lockCount;
    if (m_lockCount == 0 && removed)
        Changed();
}

void TcxDBDataFilterCriteria::ClearConditions()
{
    FilterChangeLock lock(*this);
    while (!m_root->IsEmpty())
        delete m_root->m_items.last();
    m_root->m_kind = fboAnd;
}

TcxFilterCriteriaItem* TcxDBDataFilterCriteria::findIn(const TcxFilterCriteriaItemList& group, int columnId) const
{
    for (TcxCustomFilterCriteriaItem* item : group.m_items) {
        if (item->IsItemList()) {
            if (auto* found = findIn(static_cast<const TcxFilterCriteriaItemList&>(*item), columnId))
                return found;
        } else {
            auto* condition = static_cast<TcxFilterCriteriaItem*>(item);
            if (condition->ColumnId() == columnId)
                return condition;
        }
    }
    return nullptr;
}

TcxFilterCriteriaItem* TcxDBDataFilterCriteria::FindColumnCondition(int columnId) const
{
    return findIn(*m_root, columnId);
}

void TcxDBDataFilterCriteria::BeginChange()
{
    ++m_lockCount;
}

void TcxDBDataFilterCriteria::EndChange()
{
    if (m_lockCount <= 0)
        return;
    --m_lockCount;
    if (m_lockCount == 0)
        Changed();
}

void TcxDBDataFilterCriteria::Changed()
{
    if (m_lockCount > 0 || m_destroying)
        return;
    PushFilter();
}

QString TcxDBDataFilterCriteria::groupText(const TcxFilterCriteriaItemList& group, bool display) const
{
    const bool any = group.m_kind == fboOr || group.m_kind == fboNotOr;
    const QString word = display ? (any ? QStringLiteral(" or ") : QStringLiteral(" and "))
                                 : (any ? QStringLiteral(" OR ") : QStringLiteral(" AND "));
    QString text;
    for (qsizetype i = 0; i < group.m_items.size(); ++i) {
        if (i > 0)
            text += word;
        const TcxCustomFilterCriteriaItem* item = group.m_items.at(i);
        text += QLatin1Char('(');
        if (item->IsItemList())
            text += groupText(static_cast<const TcxFilterCriteriaItemList&>(*item), display);
        else if (display)
            text += static_cast<const TcxFilterCriteriaItem&>(*item).DisplayText();
        else
            text += static_cast<const TcxFilterCriteriaItem&>(*item).FilterText();
        text += QLatin1Char(')');
    }
    if (group.m_kind == fboNotAnd || group.m_kind == fboNotOr)
        text = (display ? QStringLiteral("not (") : QStringLiteral("NOT (")) + text + QLatin1Char(')');
    return text;
}

QString TcxDBDataFilterCriteria::BuildFilterText() const
{
    return groupText(*m_root, false);
}

QString TcxDBDataFilterCriteria::BuildDisplayText() const
{
    return groupText(*m_root, true);
}

void TcxDBDataFilterCriteria::prepareAll(const TcxFilterCriteriaItemList& group)
{
    for (TcxCustomFilterCriteriaItem* item : group.m_items) {
        if (item->IsItemList())
            prepareAll(static_cast<const TcxFilterCriteriaItemList&>(*item));
        else
            static_cast<TcxFilterCriteriaItem*>(item)->Operator().Prepare();
    }
}

void TcxDBDataFilterCriteria::PushFilter()
{
    if (m_destroying)
        return;
    prepareAll(*m_root);
    // Whatever the table does with the text, the windows that show the
    // criteria (the filter panel) hear of the change.
    struct Announce {
        TcxDBDataFilterCriteria& criteria;
        ~Announce() { emit criteria.filterChanged(); }
    } announce{*this};
    if (m_table) {
        struct ControlsGuard {
            FilterTable& table;
            ~ControlsGuard() { table.enableControls(); }
        };
        m_table->disableControls();
        ControlsGuard guard{*m_table};
        m_table->setFilter(BuildFilterText());
        m_table->setCaseInsensitiveFilter(m_options.testFlag(fcoCaseInsensitive));
        m_table->setFiltered(m_active && !m_table->filter().isEmpty());
    }
}

// --- properties

void TcxDBDataFilterCriteria::SetActive(bool on)
{
    if (on == m_active)
        return;
    m_active = on;
    Changed();
}

void TcxDBDataFilterCriteria::SetDateTimeFormat(const QString& format)
{
    if (format == m_dateTimeFormat)
        return;
    m_dateTimeFormat = format;
    Changed();
}

void TcxDBDataFilterCriteria::SetPercentWildcard(QChar c)
{
    if (c == m_percent)
        return;
    m_percent = c;
    Changed();
}

void TcxDBDataFilterCriteria::SetUnderscoreWildcard(QChar c)
{
    if (c == m_underscore)
        return;
    m_underscore = c;
    Changed();
}

void TcxDBDataFilterCriteria::SetOptions(TcxFilterCriteriaOptions options)
{
    if (options == m_options)
        return;
    m_options = options;
    Changed();
}

} // namespace orvane::filter

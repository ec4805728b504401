#include "grid/CustomizationWindow.h"

#include "grid/GridViewModel.h"

#include <QDrag>
#include <QListWidget>
#include <QMimeData>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace orvane::grid {

namespace {

// A list whose items are dragged onto the grid as a column or band ID.
class DragList : public QListWidget {
public:
    DragList(const char* mime, QWidget* parent) : QListWidget(parent), m_mime(mime)
    {
        setDragEnabled(true);
        setDragDropMode(QAbstractItemView::DragOnly);
        setSelectionMode(QAbstractItemView::SingleSelection);
    }

protected:
    void startDrag(Qt::DropActions) override
    {
        QListWidgetItem* item = currentItem();
        if (!item)
            return;
        auto* mime = new QMimeData;
        mime->setData(m_mime, QByteArray::number(item->data(Qt::UserRole).toInt()));
        mime->setText(item->text());
        auto* drag = new QDrag(this);
        drag->setMimeData(mime);
        drag->exec(Qt::MoveAction);
    }

private:
    const char* m_mime;
};

// Captions compare without case, and runs of digits by their value, so
// "ActivityCode2" comes before "ActivityCode10".
bool naturalLess(const QString& a, const QString& b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            qsizetype ei = i, ej = j;
            while (ei < a.size() && a[ei].isDigit())
                ++ei;
            while (ej < b.size() && b[ej].isDigit())
                ++ej;
            const qulonglong na = a.mid(i, ei - i).toULongLong(), nb = b.mid(j, ej - j).toULongLong();
            if (na != nb)
                return na < nb;
            i = ei;
            j = ej;
            continue;
        }
        const QChar ca = a[i].toCaseFolded(), cb = b[j].toCaseFolded();
        if (ca != cb)
            return ca < cb;
        ++i;
        ++j;
    }
    if ((a.size() - i) != (b.size() - j))
        return (a.size() - i) < (b.size() - j);
    return a < b;
}

} // namespace

CustomizationWindow::CustomizationWindow(GridViewModel& model, QWidget* grid)
    : QWidget(grid, Qt::Tool | Qt::WindowStaysOnTopHint), m_model(model)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Customization"));
    setObjectName(QStringLiteral("CustomizationWindow"));
    m_pages = new QTabWidget(this);
    m_bands = new DragList(kBandMime, m_pages);
    m_columns = new DragList(kColumnMime, m_pages);
    m_pages->addTab(m_bands, QStringLiteral("Bands"));
    m_pages->addTab(m_columns, QStringLiteral("Columns"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_pages);
    resize(200, 300);
    if (grid) {
        const QRect g = grid->window()->geometry();
        move(g.right() - width() - 40, g.top() + 80);
    }

    connect(m_bands, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* i) { bringBack(i, true); });
    connect(m_columns, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* i) { bringBack(i, false); });
    connect(&m_model, &GridViewModel::layoutChanged, this, &CustomizationWindow::refill);
    refill();
}

void CustomizationWindow::selectPage(int page)
{
    m_pages->setCurrentIndex(page);
}

int CustomizationWindow::currentPage() const
{
    return m_pages->currentIndex();
}

QStringList CustomizationWindow::columnCaptions() const
{
    QStringList out;
    for (int i = 0; i < m_columns->count(); ++i)
        out << m_columns->item(i)->text();
    return out;
}

void CustomizationWindow::refill()
{
    m_bands->clear();
    for (int b : m_model.hiddenBands()) {
        auto* item = new QListWidgetItem(m_model.band(b).caption, m_bands);
        item->setData(Qt::UserRole, b);
    }
    // Columns sorted by caption, so a long list reads like an index.
    QVector<int> ids = m_model.customizableColumns();
    std::stable_sort(ids.begin(), ids.end(), [&](int a, int b) {
        return naturalLess(m_model.columnCaption(a), m_model.columnCaption(b));
    });
    m_columns->clear();
    for (int id : ids) {
        auto* item = new QListWidgetItem(m_model.columnCaption(id), m_columns);
        item->setData(Qt::UserRole, id);
    }
}

void CustomizationWindow::bringBack(QListWidgetItem* item, bool band)
{
    const int id = item->data(Qt::UserRole).toInt();
    if (band)
        m_model.setBandVisible(id, true);
    else
        m_model.showColumnAt(id, -1);
}

} // namespace orvane::grid

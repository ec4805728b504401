#pragma once
// What the grid-to-sheet export reads from a banded grid view: its bands and
// columns as laid out on screen, its options and the rows it shows with
// their display texts. The grid's view model is adapted to it by
// GridExportSource; tests and the benchmark fill it from plain tables.

#include "export/ExportCellStyle.h"

#include <QString>
#include <QVariant>
#include <QVector>
#include <vector>

namespace orvane::exporting {

enum class ExportGridLines { Both, None, VerticalOnly, HorizontalOnly };

struct ExportViewOptions {
    bool bandHeaders = true;
    bool columnHeaders = true;
    ExportGridLines gridLines = ExportGridLines::Both;
};

struct ExportBandInfo {
    int index = 0;               // the band's index among the view's bands
    QString caption;
    ExportAlign headerAlignment = ExportAlign::Center;
    int width = 0;               // on-screen pixels
};

struct ExportColumnInfo {
    int index = 0;               // the column's index among all the view's columns
    int band = 0;                // index of its band
    QString caption;
    ExportAlign headerAlignment = ExportAlign::Left;
    ExportAlign contentAlignment = ExportAlign::Left;
    int rowIndex = 0;            // header row within its band
    int rowSpan = 1;
    int width = 0;               // on-screen header width in pixels
};

class ExportSource {
public:
    virtual ~ExportSource() = default;

    // A grid without an active level or whose level has no view cannot be
    // exported.
    virtual bool hasActiveLevel() const { return true; }
    virtual bool hasView() const { return true; }

    virtual ExportViewOptions options() const = 0;
    // All columns of the view, hidden and invisible ones included.
    virtual int columnCount() const = 0;
    virtual ExportColumnInfo column(int index) const = 0;
    // Visible bands in display order.
    virtual QVector<ExportBandInfo> visibleBands() const = 0;
    // Visible columns of a band in display order.
    virtual QVector<int> visibleColumns(int band) const = 0;
    // Header rows per record: the largest number of column rows of any band.
    virtual int headerRowCount() const = 0;

    // The records shown, in the view's order.
    virtual int recordCount() const = 0;
    // The text the view shows in a cell. The view stays valid until the next
    // call; the export asks for every cell of every record, so a source
    // hands out what it holds instead of building new strings.
    virtual QStringView displayText(int record, int column) const = 0;
    // The display texts of several columns of one record at once, valid
    // until the next call; by default one displayText call per column.
    virtual void displayTexts(int record, const int* columns, int count, QStringView* texts) const
    {
        m_held.resize(std::size_t(count));
        for (int i = 0; i < count; ++i) {
            m_held[std::size_t(i)] = displayText(record, columns[i]).toString();
            texts[i] = m_held[std::size_t(i)];
        }
    }

private:
    mutable std::vector<QString> m_held;
};

} // namespace orvane::exporting

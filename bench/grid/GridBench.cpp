// Times the activity grid over a table of many activities (100,000 by
// default) in a temporary "pdb.mdb":
//   first paint  - from opening the table (its first rows) to the grid's
//                  first painted frame;
//   full screen  - painting every visible row once the view is scrolled to
//                  the middle of the table (median of repeated paints);
//   sort         - re-sorting every row by one column.
// With --png FILE it also saves what the window shows.
//
// Run under a display or with QT_QPA_PLATFORM=offscreen.

#include "grid/ActivityGrid.h"
#include "store/ActivityStore.h"
#include "store/DatabaseFile.h"
#include "store/TableImport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace orvane;

namespace {

// Fills P3Data with `rows` activities: data and code columns, a growing
// number of log lines per activity (0 to 11) and a scrambled EarlyFinish.
void fill(store::ActivityStore& s, int rows)
{
    QStringList logs, logValues;
    for (int n = 1; n <= 12; ++n) {
        logs << QStringLiteral("[Log#%1]").arg(n);
        logValues << QStringLiteral("CASE WHEN i % 12 >= %1 THEN 'Log line %1 of activity ' || i || ': checked, poured and cured' END").arg(n);
    }
    const QString sql = QStringLiteral(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
        "INSERT INTO P3Data (ActivityID, Description, OriginalDuration, RemainingDuration, TotalFloat, "
        "PercentComplete, EarlyStart, EarlyFinish, LateStart, LateFinish, CalendarID, WBSCode, "
        "ActivityCode1, ActivityCode2, %2, Flag) "
        "SELECT printf('A%06d', i), 'Activity number ' || i || ' of the works', (i * 37) % 90, (i * 13) % 60, "
        "(i * 7) % 40 - 10, (i * 11) % 101, "
        "strftime('%Y-%m-%dT%H:%M:%S', '2026-01-01', '+' || ((i * 7919) % 900) || ' days'), "
        "strftime('%Y-%m-%dT%H:%M:%S', '2026-01-01', '+' || ((i * 7919) % 900 + 30) || ' days'), "
        "strftime('%Y-%m-%dT%H:%M:%S', '2026-02-01', '+' || ((i * 104729) % 900) || ' days'), "
        "strftime('%Y-%m-%dT%H:%M:%S', '2026-03-01', '+' || ((i * 104729) % 900) || ' days'), "
        "'' || (i % 4 + 1), 'WBS.' || (i % 50), 'AR' || (i % 9), 'PH' || (i % 5), %3, i % 3 = 0 FROM n")
        .arg(rows).arg(logs.join(QLatin1Char(','))).arg(logValues.join(QLatin1Char(',')));
    s.ADOCon.executeRaw(sql);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double ms(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    int rows = 100000;
    QString png;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--png") && i + 1 < args.size())
            png = args[++i];
        else
            rows = args[i].toInt();
    }

    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    store::createActivityDatabase(QStringLiteral("pdb.mdb"));
    {
        store::ActivityStore filler;
        filler.ADOCon.open();
        fill(filler, rows);
    }

    {
        // The table's own share of the fetch, for comparison with the grid's.
        store::ActivityStore alone;
        QElapsedTimer t;
        t.start();
        alone.openAtStartup([](const QString&) {});
        while (alone.taActivities.isFetching())
            QCoreApplication::processEvents();
        std::printf("table alone, open and fetch: %8.1f ms\n", ms(t));
    }

    store::ActivityStore s;
    QElapsedTimer firstPaint;
    firstPaint.start();
    s.openAtStartup([](const QString& m) { std::fprintf(stderr, "%s\n", qPrintable(m)); });
    const double openMs = ms(firstPaint);
    grid::ActivityGrid grid(s.taActivities);
    grid.resize(1280, 800);
    grid.show();
    // The first frame, painted as the window system would ask for it.
    QImage frame(grid.size(), QImage::Format_ARGB32_Premultiplied);
    grid.render(&frame);
    const double firstPaintMs = ms(firstPaint);
    std::printf("rows in table:               %d\n", rows);
    std::printf("open (first rows):           %8.1f ms (%d rows at once)\n", openMs, s.taActivities.rowCount());
    std::printf("first paint after open:      %8.1f ms\n", firstPaintMs);

    QElapsedTimer fetch;
    fetch.start();
    while (s.taActivities.isFetching())
        QCoreApplication::processEvents();
    std::printf("rest fetched and merged:     %8.1f ms (%d rows shown)\n", ms(fetch), grid.model().rowCount());

    grid::GridView& view = grid.view();
    view.verticalScrollBar()->setValue(grid.model().rowCount() / 2);
    view.horizontalScrollBar()->setValue(view.horizontalScrollBar()->maximum() / 3);
    QCoreApplication::processEvents();
    QImage screen(view.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    std::vector<double> paints;
    for (int i = 0; i < 30; ++i) {
        QElapsedTimer t;
        t.start();
        view.viewport()->render(&screen);
        paints.push_back(ms(t));
        view.verticalScrollBar()->setValue(view.verticalScrollBar()->value() + (i % 2 ? -37 : 41));
    }
    const int shownRows = view.viewport()->height() / (view.rowHeight() + 1);
    std::printf("full screen in the middle:   %8.2f ms median, %.2f ms worst (%dx%d px, ~%d rows)\n",
                median(paints), *std::max_element(paints.begin(), paints.end()), screen.width(), screen.height(),
                shownRows);

    // The marks of changed texts: the base taken from the table as an
    // import takes it, then a third of the rows changed in two logs (one of
    // them on screen), and the same screens painted with and without marks.
    {
        store::countImport(s.ADOCon, QStringLiteral("BENCH"), QString());
        s.base.replaceFromTable();
        s.ADOCon.executeRaw(QStringLiteral("UPDATE P3Data SET [Log#2] = 'changed here', [Log#40] = 'new' "
                                           "WHERE rowid % 3 = 0"));
        QElapsedTimer t;
        t.start();
        s.changes.setEnabled(true);
        const double compareAllMs = ms(t);
        t.restart();
        s.taActivities.requeryColumns({store::logColumn(2)});
        const double rereadMs = ms(t);
        const auto paintMedian = [&] {
            std::vector<double> times;
            for (int i = 0; i < 30; ++i) {
                QElapsedTimer p;
                p.start();
                view.viewport()->render(&screen);
                times.push_back(ms(p));
                view.verticalScrollBar()->setValue(view.verticalScrollBar()->value() + (i % 2 ? -37 : 41));
            }
            return median(times);
        };
        view.horizontalScrollBar()->setValue(0);
        view.ensureVisible(view.firstVisibleRow(), store::logColumn(2));
        grid.model().setChangeMarks(nullptr);
        const double plainMs = paintMedian();
        grid.model().setChangeMarks(&s.changes);
        const double markedMs = paintMedian();
        std::printf("marks: compare every row      %8.1f ms (%d rows changed)\n", compareAllMs,
                    s.changes.changedRowCount());
        std::printf("marks: one column re-read     %8.1f ms (re-read and compare)\n", rereadMs);
        std::printf("marks: screen with / without  %8.2f / %.2f ms median (%+.1f%%; target under +10%%)\n", markedMs,
                    plainMs, 100.0 * (markedMs - plainMs) / plainMs);
        std::printf("marks: memory                 %8.1f bytes per row (target under 20)\n",
                    double(s.changes.heldBytes()) / rows);
    }

    struct SortCase {
        const char* name;
        int column;
        grid::SortOrder order;
    };
    const SortCase sorts[] = {
        {"EarlyFinish desc (date)", 9, grid::SortOrder::Descending},
        {"Description (text)", 1, grid::SortOrder::Ascending},
        {"Log#1 (text, blanks)", store::logColumn(1), grid::SortOrder::Ascending},
        {"OriginalDuration (number)", 2, grid::SortOrder::Ascending},
        {"Flag (yes/no)", store::kFlagColumn, grid::SortOrder::Ascending},
        {"EarlyFinish asc (date)", 9, grid::SortOrder::Ascending},
    };
    for (const SortCase& c : sorts) {
        QElapsedTimer t;
        t.start();
        grid.model().sortBy(c.column, c.order);
        const double sortMs = ms(t);
        view.viewport()->render(&screen);
        std::printf("sort by %-26s %8.1f ms (with repaint %.1f ms)\n", c.name, sortMs, ms(t));
    }

    if (!png.isEmpty()) {
        // On a real display the whole screen is taken, so the customization
        // window shows too; offscreen only the grid is drawn.
        auto shoot = [&](const QString& file) {
            for (int i = 0; i < 20; ++i) {
                QCoreApplication::processEvents();
                QThread::msleep(10);
            }
            QImage shot;
            if (QGuiApplication::platformName() == QLatin1String("xcb"))
                shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
            else
                shot = grid.grab().toImage();
            shot.save(QDir(previous).absoluteFilePath(file));
            std::printf("screenshot: %s\n", qPrintable(file));
        };
        grid.move(0, 0);
        view.verticalScrollBar()->setValue(0);
        view.horizontalScrollBar()->setValue(0);
        s.taActivities.setCurrentRow(grid.model().tableRow(3));
        view.setFocus();
        view.setFocusedColumn(store::logColumn(2));
        view.setFilterButtonsVisible(true);
        grid.openCustomization(1);
        shoot(png);
        view.setFilterButtonsVisible(false);
        view.verticalScrollBar()->setValue(grid.model().rowCount() / 2);
        view.horizontalScrollBar()->setValue(view.horizontalScrollBar()->maximum() / 2);
        s.taActivities.setCurrentRow(grid.model().tableRow(view.firstVisibleRow() + 2));
        view.setFocusedColumn(grid.model().visibleColumns(1).at(50));
        view.startEditing(QStringLiteral("Typed into the grid"), true);
        shoot(QString(png).replace(QLatin1String(".png"), QLatin1String("-scrolled.png")));
    }
    QDir::setCurrent(previous);
    return 0;
}

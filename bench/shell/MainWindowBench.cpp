// Times the main window over a large project, offscreen, as a planner meets
// it: 100,000 activities by default, generated like the sample projects
// (about six log lines each, six activity codes) and imported through
// Orvane's import into a temporary "pdb.mdb" by a child process, so the
// figures below are the window's own.
//
//   memory     resident memory of the process with every row loaded and
//              shown, against the same window over an empty table;
//   filter     a value picked from a column's filter drop-down until the
//              grid has repainted with every row the filter lets through,
//              and "(All)" picked to clear it again;
//   bulk       a bulk command ("Log# X => Log# Y" over every row), its
//              statement with the undo recording, the re-read and the
//              repaint, with the undo recording's share measured apart;
//   sort       a click's sort by one column until the grid has repainted;
//   drop-down  a column's filter drop-down opened and shown;
//   export     "Export to MS Excell..." of 65,534 rows shown by the grid.
//
// Every step runs several times; each figure is the median with the
// smallest and the largest run.
//
// Usage: main_window_bench [--activities N] [--keep DIR] [--runs N]
// Targets: filter < 300 ms, bulk < 500 ms, sort < 200 ms, drop-down <
// 100 ms, export < 300 ms, memory < 200 MB.

#include "WindowBenchSupport.h"

#include "filter/GridFilter.h"
#include "grid/ActivityGrid.h"
#include "logedit/BulkCommands.h"
#include "p3link/AutomationFactory.h"
#include "p3link/FixedProjectChooser.h"
#include "p3link/P3Operations.h"
#include "p3sim/Server.h"
#include "shell/ClassicFont.h"
#include "shell/TAboutForm.h"
#include "shell/TMainForm.h"
#include "store/DatabaseFile.h"
#include "store/DataFieldList.h"
#include "store/UndoHistory.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace orvane;
using bench::ms;
using bench::settle;
using bench::Spread;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.size() == 3 && args[0] == QLatin1String("--prepare"))
        return bench::prepareDatabase(args[1], args[2]);
    // The window in the program's own font, as the planner sees it.
    shell::applyClassicFont();
    QTemporaryDir temp;
    const std::optional<bench::WindowBenchSetup> setup = bench::setUpWindowBench(args, temp);
    if (!setup)
        return 1;
    const int runs = setup->runs;
    const QString& work = setup->work;
    const QString empty = temp.filePath(QStringLiteral("empty"));
    QDir().mkpath(empty);

    // The window over an empty table first: what the window itself holds.
    QDir::setCurrent(empty);
    store::createActivityDatabase(QStringLiteral("pdb.mdb"));
    long emptyRss = 0;
    {
        shell::TAboutForm about;
        shell::TMainForm form(&about);
        form.show();
        settle(form);
        emptyRss = bench::rssKiB();
    }

    QDir::setCurrent(work);
    shell::TAboutForm about;
    QElapsedTimer openTimer;
    openTimer.start();
    shell::TMainForm form(&about);
    form.show();
    settle(form);
    const double openMs = ms(openTimer);
    grid::ActivityGrid& grid = *form.cxGridProject();
    grid::GridViewModel& model = grid.model();
    filter::GridFilterLink& filter = *form.gridFilter();
    const long fullRss = bench::rssKiB();
    std::printf("window open with every row fetched:      %8.1f ms (%d rows)\n", openMs, model.rowCount());
    std::printf("resident memory: %.1f MB with %d rows (%.1f MB over the window with an empty table, %.0f bytes per "
                "activity; target < 200 MB)%s\n",
                fullRss / 1024.0, model.rowCount(), (fullRss - emptyRss) / 1024.0,
                1024.0 * double(fullRss - emptyRss) / std::max(model.rowCount(), 1),
                fullRss / 1024.0 < 200 ? "" : "  OVER");

    const int percent = model.columnIdOfField(QStringLiteral("PercentComplete"));
    const int earlyFinish = model.columnIdOfField(QStringLiteral("EarlyFinish"));
    const int description = model.columnIdOfField(QStringLiteral("Description"));
    const int code1 = model.columnIdOfField(QStringLiteral("ActivityCode1"));
    const int log1 = model.columnIdOfField(QStringLiteral("Log#1"));

    // Filter: "PercentComplete = 50" picked from the drop-down, then "(All)".
    Spread applyFilter, clearFilter;
    int filteredRows = 0;
    for (int i = 0; i < runs; ++i) {
        const QList<filter::TcxFilterValueItem> values = filter.valueList(percent);
        const auto fifty = std::find_if(values.begin(), values.end(), [](const filter::TcxFilterValueItem& item) {
            return item.kind == filter::TcxFilterValueItem::fviValue && item.displayText == QLatin1String("50");
        });
        QElapsedTimer t;
        t.start();
        filter.pick(percent, *fifty);
        settle(form);
        applyFilter.add(ms(t));
        filteredRows = model.rowCount();
        t.start();
        filter.pick(percent, values.first());   // (All)
        settle(form);
        clearFilter.add(ms(t));
    }
    std::printf("filter PercentComplete = 50: %d of %d rows\n", filteredRows, model.rowCount());
    applyFilter.print("filter applied, grid repainted", 300);
    clearFilter.print("filter cleared, grid repainted", 300);

    // Bulk command over every row into an empty log; the statement alone
    // and the undo recording's share are timed apart by running the same
    // statement into the emptied log again, without and with recording.
    // Each timed command starts with the file at rest (the log copy of the
    // command before has ended), as it is when a person issues commands.
    Spread bulk, statementOnly, undoShare;
    int changed = 0;
    store::ActivityStore& st = form.store();
    const auto emptyLog = [&st, &form](int log) {
        st.ADOCon.executeRaw(QStringLiteral("UPDATE P3Data SET [Log#%1] = NULL").arg(log));
        st.taActivities.requeryColumns({store::logColumn(log)});
        settle(form);
        st.ADOCon.waitForLogCopy();
    };
    for (int i = 0; i < runs; ++i) {
        const int target = 40 + i;
        const QString statement = logedit::log2LogStatement(QString::number(1 + i % 2), QString::number(target));
        st.ADOCon.waitForLogCopy();
        QElapsedTimer t;
        t.start();
        changed = logedit::runBulkStatement(st, statement);
        settle(form);
        bulk.add(ms(t));
        emptyLog(target);
        st.qLog2Log.setSql(logedit::withRowFilter(statement, st.taActivities));
        t.start();
        st.qLog2Log.execSQL();
        const double plain = ms(t);
        emptyLog(target);
        t.start();
        {
            store::UndoRecording recording(st.undo, QStringLiteral("bulk command"));
            recording.runColumnStatement(st.qLog2Log.sqlText(), [&st] { return st.qLog2Log.execSQL(); });
            recording.finish();
        }
        const double recorded = ms(t);
        statementOnly.add(plain);
        undoShare.add(std::max(0.0, recorded - plain));
        // The file as it was: each command writes into an empty log, and a
        // kept database is the same for the next run of the benchmark.
        emptyLog(target);
    }
    // The re-read's share: the table's own re-read of the changed column
    // (and, for comparison, of every row), then what the view adds (keys,
    // sort, repaint).
    Spread tableReread, columnReread, viewReread;
    for (int i = 0; i < runs; ++i) {
        store::ActivityTable& table = form.store().taActivities;
        grid.model().detachDataSource();
        QElapsedTimer t;
        t.start();
        table.requery();
        table.fetchAll();
        tableReread.add(ms(t));
        // The column was changed in every row, as by a bulk command.
        st.ADOCon.executeRaw(QStringLiteral("UPDATE P3Data SET [Log#%1] = [Log#%2]").arg(40 + i).arg(2 - i % 2));
        st.ADOCon.waitForLogCopy();
        t.start();
        table.requeryColumns({store::logColumn(40 + i)});
        table.fetchAll();
        columnReread.add(ms(t));
        t.start();
        grid.model().reattachDataSource();
        settle(form);
        viewReread.add(ms(t));
        emptyLog(40 + i);
    }
    std::printf("bulk command Log#1/2 => Log#40..: %d rows changed\n", changed);
    bulk.print("bulk command until the grid shows it", 500);
    statementOnly.print("  of which: the statement alone", 500);
    undoShare.print("  of which: undo recording (extra)", 500);
    columnReread.print("  re-read: the table's read of the changed column (every row changed)", 500);
    tableReread.print("  (a whole re-read: the table's fetch of every row)", 500);
    viewReread.print("  (after a whole re-read: the view's keys, sort and repaint)", 500);

    // Sorting by a header click's worth: sortBy and the repaint.
    struct SortCase {
        const char* name;
        int column;
    };
    for (const SortCase& c : {SortCase{"sort by Description (text)", description},
                              SortCase{"sort by ActivityCode1 (text, repeats)", code1},
                              SortCase{"sort by Log#1 (text, blanks)", log1},
                              SortCase{"sort by PercentComplete (number)", percent},
                              SortCase{"sort by EarlyFinish (date)", earlyFinish}}) {
        Spread sort;
        for (int i = 0; i < runs; ++i) {
            model.sortBy(earlyFinish == c.column ? description : earlyFinish, grid::SortOrder::Ascending);
            settle(form);
            QElapsedTimer t;
            t.start();
            model.sortBy(c.column, i % 2 ? grid::SortOrder::Descending : grid::SortOrder::Ascending);
            settle(form);
            sort.add(ms(t));
        }
        sort.print(c.name, 200);
    }
    model.sortBy(earlyFinish, grid::SortOrder::Ascending);
    settle(form);

    // The filter drop-down of a column, opened and shown.
    for (const SortCase& c : {SortCase{"drop-down of EarlyFinish (date)", earlyFinish},
                              SortCase{"drop-down of PercentComplete", percent},
                              SortCase{"drop-down of ActivityCode1", code1},
                              SortCase{"drop-down of Log#1 (text)", log1},
                              SortCase{"drop-down of Description (all distinct)", description}}) {
        Spread open;
        int entries = 0;
        for (int i = 0; i < runs; ++i) {
            QElapsedTimer t;
            t.start();
            filter.openDropDown(c.column);
            QWidget* popup = QApplication::activePopupWidget();
            if (popup)
                popup->repaint();
            open.add(ms(t));
            if (popup) {
                entries = popup->findChild<QAbstractItemView*>() ? popup->findChild<QAbstractItemView*>()->model()->rowCount() : 0;
                popup->close();
            }
            QCoreApplication::processEvents();
        }
        std::printf("%-40s %d entries\n", c.name, entries);
        open.print("  opened and shown", 100);
        // Texts measured once are not measured again: the first opening
        // measures the list, the later ones find its widths.
        std::printf("  %-38s        %8.1f ms\n", "the first opening", open.runs.front());
    }

    // Export of 65,534 rows: the filter keeps that many in view.
    {
        const int keep = std::min(65534, model.rowCount());
        // Rows are imported in order; the first `keep` rowids are the ones shown.
        model.applyTableFilter(QStringLiteral("[ActivityID] <= 'B%1'").arg(keep - 1, 6, 10, QLatin1Char('0')), true);
        settle(form);
        std::printf("export: %d rows shown\n", model.rowCount());
        const QString file = temp.filePath(QStringLiteral("grid.xls"));
        form.askExportFileName = [&file] { return file; };
        Spread exportTime;
        for (int i = 0; i < runs; ++i) {
            QElapsedTimer t;
            t.start();
            form.m2ExcellClick();
            exportTime.add(ms(t));
        }
        std::printf("export file: %.1f MB\n", QFileInfo(file).size() / 1e6);
        exportTime.print("export of the rows shown", 300);
        model.applyTableFilter(QString(), false);
        settle(form);
    }
    std::printf("resident memory at the end: %.1f MB\n", bench::rssKiB() / 1024.0);
    return 0;
}

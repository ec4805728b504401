// Timings of undo and of the update from a workbook.
//
//   bench_workbook undo [ROWS]            bulk command over ROWS rows (default
//                                         100,000), then its undo. Target: undo < 500 ms.
//   bench_workbook fill DIR ROWS          pdb.mdb in DIR with ROWS realistic rows
//   bench_workbook update-from DIR FILE   empties Log#1 of every row of DIR/pdb.mdb,
//                                         then reads FILE, plans and applies the update.
//                                         With the export's record every row's Log#1 is
//                                         an edit made in the table since the export and
//                                         is kept; without it, every row is written.
//   bench_workbook update-from-edited DIR FILE
//                                         the same on the table as exported, FILE edited
//                                         in every row's Log#1: every row is written.
//                                         Target for 65,534 rows of a re-saved .xlsx: < 3 s.
// run_bench.sh drives them with a real export re-saved by LibreOffice.

#include "store/ActivityStore.h"
#include "store/DatabaseFile.h"
#include "store/Statement.h"
#include "store/UndoHistory.h"
#include "workbook/WorkbookUpdate.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <sqlite3.h>

#include <cstdio>

using namespace orvane;

namespace {

void fill(const QString& dir, int rows)
{
    QDir::setCurrent(dir);
    store::createActivityDatabase(QStringLiteral("pdb.mdb"));
    store::Database db;
    db.open();
    QRandomGenerator rng(7);
    store::Transaction transaction(db);
    store::Statement insert(db.writableHandle(),
                            QStringLiteral("INSERT INTO P3Data (ActivityID, Description, [Log#1], [Log#2], [Log#3], "
                                           "[Log#5], [Log#8], [Log#13], [Log#21], Flag) "
                                           "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, 0)"));
    for (int i = 0; i < rows; ++i) {
        insert.reset();
        const QByteArray id = QStringLiteral("A%1").arg(i, 6, 10, QLatin1Char('0')).toUtf8();
        sqlite3_bind_text(insert.get(), 1, id.constData(), -1, SQLITE_TRANSIENT);
        for (int k = 2; k <= 9; ++k) {
            const QByteArray text = QStringLiteral("log %1 of %2: pour slab level %3 crane delay")
                                        .arg(k).arg(i).arg(rng.bounded(100)).toUtf8();
            sqlite3_bind_text(insert.get(), k, text.constData(), -1, SQLITE_TRANSIENT);
        }
        insert.step();
    }
    // Dates, numbers and codes, as an imported project has them: the export
    // shows them, and a reader must pass over them.
    db.executeRaw(QStringLiteral(
        "UPDATE P3Data SET OriginalDuration = rowid % 40, RemainingDuration = rowid % 17, "
        "PercentComplete = (rowid % 1000) / 10.0, CalendarID = '1', ActivityCode1 = 'C' || (rowid % 9), "
        "EarlyStart = strftime('%Y-%m-%dT%H:%M:%S', '2026-01-05 08:00:00', '+' || (rowid % 700) || ' days'), "
        "EarlyFinish = strftime('%Y-%m-%dT00:00:00', '2026-01-15', '+' || (rowid % 700) || ' days')"));
    transaction.commit();
}

// One bulk command with recording, then its undo; `pause` lets the log copy
// of the command end first, as it has by the time a user asks for the undo.
qint64 bulkThenUndo(store::ActivityStore& store, bool pause, std::size_t* held, int* restored)
{
    {
        // Recorded as the window records a bulk command.
        store::UndoRecording recording(store.undo, QStringLiteral("bulk"));
        const QString statement = QStringLiteral("UPDATE [P3Data] SET [Log#2] = [Description]");
        recording.runColumnStatement(statement, [&] { return store.ADOCon.execute(statement); });
        recording.finish();
    }
    *held = store.undo.heldBytes();
    if (pause)
        store.ADOCon.waitForLogCopy();
    QElapsedTimer timer;
    timer.start();
    *restored = store.undo.undo().restored;
    return timer.elapsed();
}

int benchUndo(int rows)
{
    QTemporaryDir dir;
    fill(dir.path(), rows);
    store::ActivityStore store;
    store.ADOCon.open();
    store.undo.setEnabled(true);
    QElapsedTimer timer;
    timer.start();
    // The same kind of command, once without and once with recording.
    store.ADOCon.execute(QStringLiteral("UPDATE [P3Data] SET [Log#4] = [Description]"));
    const qint64 plain = timer.elapsed();
    timer.restart();
    {
        // Recorded as the window records a bulk command.
        store::UndoRecording recording(store.undo, QStringLiteral("bulk"));
        const QString statement = QStringLiteral("UPDATE [P3Data] SET [Log#4] = NULL");
        recording.runColumnStatement(statement, [&] { return store.ADOCon.execute(statement); });
        recording.finish();
    }
    const qint64 bulk = timer.elapsed();
    store.undo.clear();
    std::size_t held = 0;
    int restored = 0;
    const qint64 undoAtOnce = bulkThenUndo(store, false, &held, &restored);
    const qint64 undoAfterCopy = bulkThenUndo(store, true, &held, &restored);
    std::printf("rows %d: bulk command %lld ms without recording, %lld ms with recording, held %.1f MiB; "
                "undo of %d cells %lld ms right after the command, %lld ms once its log copy ended "
                "(target < 500 ms)\n",
                rows, qlonglong(plain), qlonglong(bulk), double(held) / (1 << 20), restored, qlonglong(undoAtOnce),
                qlonglong(undoAfterCopy));
    return 0;
}

int benchUpdate(const QString& dir, const QString& file, bool emptyLogFirst)
{
    QDir::setCurrent(dir);
    store::Database db;
    db.open();
    if (emptyLogFirst)
        db.execute(QStringLiteral("UPDATE [P3Data] SET [Log#1] = NULL"));
    QElapsedTimer timer;
    timer.start();
    const workbook::WorkbookForUpdate workbook = workbook::readWorkbookForUpdate(file);
    const workbook::SheetRows& sheet = workbook.sheet;
    const qint64 read = timer.elapsed();
    const workbook::UpdatePlan plan = workbook::planUpdate(workbook, db);
    const qint64 planned = timer.elapsed();
    const int written = workbook::applyUpdate(db, plan);
    const qint64 total = timer.elapsed();
    std::printf("%s: %lld sheet rows, %s; read %lld ms, planned %lld ms, %d cells of %d activities written, "
                "%d table edits kept, %d conflicts; total %lld ms (target < 3000 ms)\n",
                qPrintable(QFileInfo(file).fileName()), qlonglong(sheet.rows.size()),
                workbook.exportRecord ? "with the export's record" : "without a record", qlonglong(read),
                qlonglong(planned - read), written, plan.activities, plan.keptTableEdits, int(plan.conflicts.size()),
                qlonglong(total));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.value(0) == "undo")
        return benchUndo(args.size() > 1 ? args.at(1).toInt() : 100000);
    if (args.value(0) == "fill" && args.size() == 3) {
        fill(args.at(1), args.at(2).toInt());
        return 0;
    }
    if ((args.value(0) == "update-from" || args.value(0) == "update-from-edited") && args.size() == 3)
        return benchUpdate(args.at(1), QFileInfo(args.at(2)).absoluteFilePath(), args.value(0) == "update-from");
    std::fprintf(stderr,
                 "usage: bench_workbook undo [ROWS] | fill DIR ROWS | update-from DIR FILE | update-from-edited DIR FILE\n");
    return 2;
}

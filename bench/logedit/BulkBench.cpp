// Bulk log copy commands over a large table: each command's statement plus
// the re-read until the first rows show, as the window runs it, with the row
// filter off and on, without and with recording for undo. Reports wall-clock
// (median, min, max) and process CPU time per command.
//
// Usage: bench_logedit_bulk [ROWS] [REPEATS]   (runs in a temporary folder)
// Target: each command under 1 second at 100,000 rows.

#include "logedit/BulkCommands.h"
#include "store/ActivityStore.h"
#include "store/DatabaseFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

using namespace orvane;

namespace {

double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// 100,000 rows with dates, numbers, codes and ten log lines each, written
// in one transaction (the import's row-by-row posting is measured elsewhere).
void fillTable(store::Database& db, int rows)
{
    QStringList logNames, logValues;
    for (int n = 1; n <= 10; ++n) {
        logNames << QStringLiteral("[Log#%1]").arg(n * 3);
        logValues << QStringLiteral("'log line %1 of activity ' || x").arg(n * 3);
    }
    db.executeRaw(QStringLiteral(
        "BEGIN;"
        "WITH RECURSIVE cnt(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM cnt WHERE x < %1) "
        "INSERT INTO P3Data (ActivityID, Description, OriginalDuration, PercentComplete, EarlyStart, "
        "EarlyFinish, CalendarID, ActivityCode1, %2, Flag) "
        "SELECT printf('A%06d', x), 'Activity ' || x, x % 40, (x % 1000) / 10.0, "
        "strftime('%Y-%m-%dT%H:%M:%S', '2026-01-05 08:00:00', '+' || (x % 700) || ' days'), "
        "strftime('%Y-%m-%dT00:00:00', '2026-01-15', '+' || (x % 700) || ' days'), '1', 'C' || (x % 9), "
        "%3, x % 2 FROM cnt;"
        "COMMIT;")
                      .arg(rows)
                      .arg(logNames.join(QLatin1Char(',')), logValues.join(QLatin1Char(','))));
}

struct Command {
    const char* name;
    QString statement;
    const char* target;   // emptied before each run, so that every run changes every row
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? QString::fromLatin1(argv[1]).toInt() : 100000;
    const int repeats = argc > 2 ? QString::fromLatin1(argv[2]).toInt() : 3;
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    store::createActivityDatabase(QStringLiteral("pdb.mdb"));

    store::ActivityStore st;
    st.ADOCon.open();
    QElapsedTimer fillTimer;
    fillTimer.start();
    fillTable(st.ADOCon, rows);
    st.taActivities.open();
    std::printf("%d rows (filled in %.2f s)\n", rows, fillTimer.elapsed() / 1000.0);

    const Command commands[] = {
        {"log2log 3 -> 50", logedit::log2LogStatement(QStringLiteral("3"), QStringLiteral("50")), "Log#50"},
        {"desc2log -> 51", logedit::descriptionToLogStatement(QStringLiteral("51")), "Log#51"},
        {"log2desc 6", logedit::logToDescriptionStatement(QStringLiteral("6")), "Description"},
        {"data2log EarlyStart -> 52", logedit::dataToLogStatement(QStringLiteral("EarlyStart"), QStringLiteral("52")),
         "Log#52"},
        {"data2log PercentComplete -> 53",
         logedit::dataToLogStatement(QStringLiteral("PercentComplete"), QStringLiteral("53")), "Log#53"},
        {"data2log ActivityCode1 -> 54",
         logedit::dataToLogStatement(QStringLiteral("ActivityCode1"), QStringLiteral("54")), "Log#54"},
    };

    std::printf("%-34s %-8s %-6s %9s %9s %9s %9s %9s %8s\n", "command", "filter", "undo", "rows", "wall ms", "min",
                "max", "cpu ms", "first");
    bool allUnder = true;
    for (const bool filtered : {false, true}) {
        st.taActivities.setFilter(filtered ? QStringLiteral("([Flag] = True) AND ([Log#3] LIKE '%activity%')")
                                           : QString());
        st.taActivities.setFiltered(filtered);
        // Each command without and with recording for undo, as the window runs it.
        for (const Command& c : commands)
        for (const bool recording : {false, true}) {
            st.undo.setEnabled(recording);
            std::vector<double> walls, cpus;
            int changed = 0;
            for (int r = 0; r < repeats; ++r) {
                st.ADOCon.executeRaw(QStringLiteral("UPDATE P3Data SET [%1] = NULL").arg(QLatin1String(c.target)));
                QElapsedTimer timer;
                timer.start();
                const double cpu0 = cpuSeconds();
                changed = logedit::runBulkStatement(st, c.statement);
                // The re-read has shown its first rows once runBulkStatement returns.
                walls.push_back(timer.nsecsElapsed() / 1e6);
                cpus.push_back((cpuSeconds() - cpu0) * 1000.0);
            }
            std::sort(walls.begin(), walls.end());
            std::sort(cpus.begin(), cpus.end());
            const double wall = walls[walls.size() / 2], cpu = cpus[cpus.size() / 2];
            allUnder = allUnder && wall < 1000.0;
            std::printf("%-34s %-8s %-6s %9d %9.1f %9.1f %9.1f %9.1f %8d\n", c.name, filtered ? "on" : "off",
                        recording ? "on" : "off", changed, wall, walls.front(), walls.back(), cpu,
                        st.taActivities.rowCount());
            // Let the asynchronous fetch finish between commands, as the idle window would.
            st.taActivities.fetchAll();
        }
    }
    std::printf("median of %d runs; target: each under 1000 ms wall: %s\n", repeats, allUnder ? "met" : "NOT met");
    return 0;
}

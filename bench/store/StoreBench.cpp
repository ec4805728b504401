// Activity table throughput: append-and-post of 100,000 realistic rows one
// by one (about 10 log lines each), then a requery of those rows: time to
// the first rows and to all rows.
//
// Usage: bench_store [ROWS]   (runs in a temporary folder)
// Targets: >= 20,000 posts per second; first rows < 50 ms; all rows < 1.5 s.

#include "store/ActivityStore.h"
#include "store/DatabaseFile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>

using namespace orvane::store;

namespace {

const char* const kWords[] = {"pour", "slab", "level", "rebar", "inspect", "formwork", "crane", "delay",
                              "steel", "deliver", "approved", "RFI", "submittal", "weather", "crew", "east",
                              "wing", "concrete", "cure", "strip", "façade", "anchor", "survey", "permit"};

QString sentence(QRandomGenerator& rng, int words)
{
    QStringList out;
    for (int i = 0; i < words; ++i)
        out << QString::fromUtf8(kWords[rng.bounded(int(std::size(kWords)))]);
    return out.join(' ');
}

void fillRow(ActivityTable& t, QRandomGenerator& rng, int i)
{
    const QDateTime start(QDate(2026, 1, 5).addDays(i % 700), QTime(8, 0));
    t.setFieldValue(0, QStringLiteral("A%1").arg(i, 6, 10, QLatin1Char('0')));
    t.setFieldValue(1, sentence(rng, 5));
    t.setFieldValue(2, double(rng.bounded(1, 40)));
    t.setFieldValue(3, double(rng.bounded(0, 40)));
    t.setFieldValue(4, double(rng.bounded(-10, 60)));
    t.setFieldValue(5, double(rng.bounded(0, 20)));
    t.setFieldValue(6, double(rng.bounded(0, 101)));
    t.setFieldValue(7, start);
    t.setFieldValue(8, start.addDays(3));
    t.setFieldValue(9, start.addDays(10));
    t.setFieldValue(10, start.addDays(13));
    t.setFieldValue(16, QStringLiteral("Task"));
    t.setFieldValue(24, QStringLiteral("1.2.%1").arg(i % 50));
    t.setFieldValue(26, QStringLiteral("12%1").arg(i % 50));
    t.setFieldValue(27, QStringLiteral("1"));
    for (int k = 0; k < 6; ++k)
        t.setFieldValue(kFirstCodeColumn + k, QStringLiteral("C%1").arg(rng.bounded(1, 9)));
    // About 10 log lines, with gaps.
    int n = 1;
    for (int k = 0; k < 10; ++k) {
        n += rng.bounded(1, 4);
        if (n > kLogCount)
            break;
        t.setFieldValue(logColumn(n), sentence(rng, rng.bounded(4, 12)));
    }
    t.setFieldValue(kFlagColumn, false);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? QString::fromLatin1(argv[1]).toInt() : 100000;
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    createActivityDatabase(QStringLiteral("pdb.mdb"));
    QRandomGenerator rng(20261210);

    {
        ActivityStore store;
        store.openAtStartup([](const QString& m) { std::fprintf(stderr, "%s\n", qPrintable(m)); });
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < rows; ++i) {
            store.taActivities.append();
            fillRow(store.taActivities, rng, i);
            store.taActivities.post();
        }
        const double seconds = timer.nsecsElapsed() / 1e9;
        std::printf("append+post: %d rows in %.3f s = %.0f posts/s (target >= 20000)\n", rows, seconds,
                    rows / seconds);
    }
    std::printf("database file: %.1f MB\n", QFileInfo(QStringLiteral("pdb.mdb")).size() / 1e6);

    ActivityStore store;
    store.openAtStartup([](const QString& m) { std::fprintf(stderr, "%s\n", qPrintable(m)); });
    QElapsedTimer timer;
    timer.start();
    store.taActivities.requery();
    const double first = timer.nsecsElapsed() / 1e6;
    const int firstRows = store.taActivities.rowCount();
    // The rest arrives from the event loop, as in the window.
    bool done = !store.taActivities.isFetching();
    QObject::connect(&store.taActivities, &ActivityTable::fetchFinished, [&] { done = true; });
    while (!done)
        QCoreApplication::processEvents();
    const double all = timer.nsecsElapsed() / 1e6;
    std::printf("requery: first %d rows after %.1f ms (target < 50), all %d rows after %.0f ms (target < 1500)\n",
                firstRows, first, store.taActivities.rowCount(), all);
    return 0;
}

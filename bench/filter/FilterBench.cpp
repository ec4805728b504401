// The row filter at scale: a saved filter of N conditions (OR of "=" on a
// log column, each value different) is read from its bytes, turned into its
// filter text and into SQL, and the SQL is prepared and run on an empty
// P3Data, as a bulk command would. Reports the time of each step and the
// peak memory of the process.
//
// Usage: bench_filter [CONDITIONS...]   (default 5000 50000)
// Target: 50,000 conditions through every step well under a second.

#include "filter/ActivityFilterColumns.h"
#include "filter/FilterStream.h"
#include "store/ActivityLayout.h"
#include "store/FilterSql.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <sqlite3.h>

#include <cstdio>
#include <sys/resource.h>

using namespace orvane;

namespace {

long peakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void runOnEmptyTable(const QString& where)
{
    sqlite3* db = nullptr;
    sqlite3_open(":memory:", &db);
    QString columns;
    for (int i = 0; i < store::kColumnCount; ++i)
        columns += (i ? QStringLiteral(", [") : QStringLiteral("[")) + store::fieldName(i) + QLatin1Char(']');
    sqlite3_exec(db, ("CREATE TABLE P3Data (" + columns + ")").toUtf8().constData(), nullptr, nullptr, nullptr);
    sqlite3_stmt* statement = nullptr;
    const QByteArray sql = ("SELECT rowid FROM P3Data WHERE " + where).toUtf8();
    if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &statement, nullptr) != SQLITE_OK)
        std::fprintf(stderr, "prepare failed: %s\n", sqlite3_errmsg(db));
    while (statement && sqlite3_step(statement) == SQLITE_ROW) {
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QList<int> counts;
    for (int i = 1; i < argc; ++i)
        counts << QString::fromLocal8Bit(argv[i]).toInt();
    if (counts.isEmpty())
        counts = {5000, 50000};
    const filter::ActivityFilterColumns columns;
    for (const int n : counts) {
        filter::TcxDBDataFilterCriteria source(&columns);
        {
            filter::FilterChangeLock lock(source);
            source.Root()->SetBoolOperatorKind(filter::fboOr);
            for (int k = 0; k < n; ++k)
                source.AddCondition(nullptr, store::logColumn(1), filter::foEqual, QString(),
                                    QStringLiteral("value %1").arg(k));
        }
        const QByteArray bytes = filter::WriteCriteria(source);

        QElapsedTimer timer;
        timer.start();
        filter::TcxDBDataFilterCriteria criteria(&columns);
        filter::ReadCriteria(criteria, bytes);
        const qint64 read = timer.restart();
        const QString text = criteria.BuildFilterText();
        const qint64 built = timer.restart();
        const QString sql = store::filterTextToSql(text);
        const qint64 translated = timer.restart();
        runOnEmptyTable(sql);
        const qint64 ran = timer.restart();
        std::printf("%7d conditions: read %5lld ms, filter text %5lld ms, SQL %5lld ms, prepare+run %5lld ms, "
                    "peak %ld MB\n",
                    n, read, built, translated, ran, peakKilobytes() / 1024);
    }
    return 0;
}

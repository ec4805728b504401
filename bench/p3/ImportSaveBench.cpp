// Import and write-back of a large project through Orvane's own code (the
// operations orvane-batch and the window run), on the simulated P3 server
// and a real pdb.mdb.
//
//     p3_import_save_bench [--activities N] [--keep DIR]
//
// Generates a project of N activities (default 100,000; 6 codes; 0 to 20
// logs each, about 10 on average) and a tenth-size one, imports the small
// one and then the large one, and writes the large one back. Prints wall
// and CPU time, activities per second, the share of time spent inside P3
// calls (every call is timed through a wrapper around the session object),
// the time of the local lookups alone, and the memory held per imported
// row after each import (flat when the memory beyond the table's rows does
// not grow with the project).
// The import runs as one transaction; the write-back is run twice: right
// after the import (nothing differs, P3 is only read) and after one log of
// every activity was changed (every activity is rewritten).
// Targets: import >= 10,000 activities/s; write-back unchanged >= 20,000
// activities/s, all changed >= 5,000 activities/s.

#include "BenchProject.h"

#include "p3link/AutomationFactory.h"
#include "p3link/FixedProjectChooser.h"
#include "p3link/P3Operations.h"
#include "p3sim/Server.h"
#include "store/ActivityStore.h"
#include "store/DatabaseFile.h"
#include "store/DataFieldList.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>

using namespace orvane;
using namespace orvane::p3link;

namespace {

double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// Time spent inside the server's calls, accumulated by the wrappers.
std::chrono::nanoseconds g_p3Time{0};
long g_p3Calls = 0;

class TimedObject : public AutomationObject {
public:
    explicit TimedObject(ObjectRef inner) : m_inner(std::move(inner)) {}
    static QVariant wrap(QVariant v)
    {
        if (ObjectRef o = objectOf(v))
            return objectVariant(std::make_shared<TimedObject>(std::move(o)));
        return v;
    }
    QVariant invoke(const QString& member, const QVariantList& args) override
    {
        QVariantList plain = args;
        for (QVariant& a : plain)
            if (auto t = std::dynamic_pointer_cast<TimedObject>(objectOf(a)))
                a = objectVariant(t->m_inner);
        const auto start = std::chrono::steady_clock::now();
        QVariant result = m_inner->invoke(member, plain);
        g_p3Time += std::chrono::steady_clock::now() - start;
        ++g_p3Calls;
        return wrap(std::move(result));
    }
    void put(const QString& member, const QVariant& value) override
    {
        const auto start = std::chrono::steady_clock::now();
        m_inner->put(member, value);
        g_p3Time += std::chrono::steady_clock::now() - start;
        ++g_p3Calls;
    }
    QString typeName() const override { return m_inner->typeName(); }

private:
    ObjectRef m_inner;
};

struct Measure {
    QElapsedTimer wall;
    double cpu0 = 0;
    std::chrono::nanoseconds p3Start{0};
    long calls0 = 0;
    void start()
    {
        g_p3Time = std::chrono::nanoseconds(0);
        g_p3Calls = 0;
        cpu0 = cpuSeconds();
        wall.start();
    }
    void report(const char* what, int activities)
    {
        const double w = double(wall.nsecsElapsed()) / 1e9;
        const double c = cpuSeconds() - cpu0;
        const double p3 = double(g_p3Time.count()) / 1e9;
        std::printf("%-22s %7d activities  wall %7.2f s (%8.0f/s)  cpu %7.2f s (%8.0f/s)  P3 calls %9ld %6.2f s (%4.1f%% of wall)\n",
                    what, activities, w, activities / w, c, activities / c, g_p3Calls, p3, 100.0 * p3 / w);
    }
};

class NoView : public OperationView {};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const orvane::bench::BenchOptions options = orvane::bench::parseBenchOptions(app.arguments().mid(1));
    const int activities = options.activities;
    QTemporaryDir temp;
    const QString folder = options.keep.isEmpty() ? temp.filePath(QStringLiteral("projects")) : options.keep;
    QDir().mkpath(folder);
    const int small = std::max(activities / 10, 1);
    const QStringList shape = {QStringLiteral("--max-logs"), QStringLiteral("20"), QStringLiteral("--codes"),
                               QStringLiteral("6")};
    if (!orvane::bench::generateProject(folder, QStringLiteral("SMAL"), small, shape)
        || !orvane::bench::generateProject(folder, QStringLiteral("BIGP"), activities, shape)) {
        std::fprintf(stderr, "generator failed\n");
        return 1;
    }
    // Fresh copies of the activity files would be needed for repeatable
    // write-backs; the write-back rewrites the same logs, so reruns match.

    p3sim::Control& control = p3sim::control();
    control.reset();
    control.settings = p3sim::Settings{};
    control.settings.projectsFolder = folder;
    control.settings.hasCurrentUser = true;
    control.settings.currentUser = QStringLiteral("PLANNER");
    setAutomationCreator(kP3SessionProgId, [] { return ObjectRef(std::make_shared<TimedObject>(p3sim::createSession())); });

    const QString work = temp.filePath(QStringLiteral("work"));
    QDir().mkpath(work);
    QDir::setCurrent(work);
    store::createActivityDatabase(QStringLiteral("pdb.mdb"));
    store::ActivityStore store;
    store.openAtStartup([](const QString& m) { std::fprintf(stderr, "%s\n", qPrintable(m)); });

    P3Credentials credentials;
    NoView view;
    store::DataFieldList fields;
    QString projectGroup, projectName;
    const long base = orvane::bench::rssKiB();

    const auto importOne = [&](const QString& group, const char* label) {
        FixedProjectChooser chooser(folder, group, QString());
        OperationContext context{store, credentials, nullptr, chooser, view, {projectGroup, projectName}, &fields};
        Measure m;
        m.start();
        const ImportResult r = importProject(context);
        m.report(label, r.imported);
        const long rss = orvane::bench::rssKiB();
        std::printf("%-22s memory after import %ld KiB over the start, %.0f bytes per row\n", "", rss - base,
                    1024.0 * double(rss - base) / std::max(r.imported, 1));
        return r.imported;
    };
    importOne(QStringLiteral("SMAL"), "import (tenth size)");
    const int imported = importOne(QStringLiteral("BIGP"), "import");

    const auto writeBack = [&](const char* label) {
        FixedProjectChooser chooser(folder, QStringLiteral("BIGP"), QString());
        OperationContext context{store, credentials, nullptr, chooser, view, {projectGroup, projectName}, &fields};
        Measure m;
        m.start();
        const WriteBackResult r = writeBackLogs(context, SaveTarget::ChosenProject);
        m.report(label, r.written);
        std::printf("%-22s %d of them rewritten\n", "", r.rewritten);
        if (!r.unwritten.isEmpty())
            std::printf("not written: %lld\n", qlonglong(r.unwritten.size()));
    };
    // Straight after the import nothing differs: P3 is only read.
    writeBack("write-back, unchanged");
    // One log of every activity changed: every activity is rewritten.
    store.ADOCon.executeRaw(QStringLiteral("UPDATE P3Data SET [Log#1] = 'changed ' || ActivityID"));
    writeBack("write-back, all changed");
    {
        // The local lookups alone, as the write-back makes them.
        Measure m;
        m.start();
        store::Query& q = store.qGetActivity;
        for (int r = 0; r < store.taActivities.rowCount(); ++r) {
            q.setParameter(QStringLiteral("ActID"), store.taActivities.value(r, 0));
            q.open();
            for (int c = 0; c < q.fieldCount(); ++c)
                (void)q.value(c);
            q.close();
        }
        m.report("lookups alone", imported);
        m.start();
        for (int r = 0; r < store.taActivities.rowCount(); ++r) {
            q.setParameter(QStringLiteral("ActID"), store.taActivities.value(r, 0));
            q.open();
            q.close();
        }
        m.report("lookups, no values read", imported);
    }
    setAutomationCreator(kP3SessionProgId, {});
    return 0;
}

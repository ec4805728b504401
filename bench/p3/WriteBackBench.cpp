// Write-back throughput of the simulated P3 server.
//
//     p3sim_writeback_bench [--activities N] [--keep DIR]
//
// With --keep, the project is generated into DIR and kept; a DIR that holds
// it already is used again.
//
// Generates a project of N activities (default 100,000) with up to 99 logs
// each, then does what a write-back does for every activity through the
// automation interface: read ActivityID, assign Description, remove every
// log through a cursor walk, add the new logs (same numbers, new texts) and
// Update; then Logout, which folds the journal into the project file.
// Prints the time of each phase and the activities per second. Target:
// 5,000 activities per second for the whole write-back, Logout included.

#include "BenchProject.h"

#include "p3link/P3Object.h"
#include "p3sim/Server.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>

using namespace orvane;
using namespace orvane::p3link;
namespace m = orvane::p3link::member;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const orvane::bench::BenchOptions options = orvane::bench::parseBenchOptions(app.arguments().mid(1));
    const int activities = options.activities;
    QTemporaryDir temp;
    const QString folder = options.keep.isEmpty() ? temp.path() : options.keep;
    QDir().mkpath(folder);

    QElapsedTimer clock;
    clock.start();
    if (!orvane::bench::generateProject(folder, QStringLiteral("BIGP"), activities)) {
        std::fprintf(stderr, "generator failed\n");
        return 1;
    }
    const qint64 dataSize = QFileInfo(QDir(folder).filePath(QStringLiteral("BIGP.activities.jsonl"))).size();
    std::printf("project of %d activities, %.1f MB, in %.1f s\n", activities, dataSize / 1e6,
                clock.elapsed() / 1000.0);

    p3sim::control().settings.projectsFolder = folder;
    try {
        P3Object session(p3sim::createSession());
        clock.restart();
        const P3Object project = P3Object::fromVariant(session.call(m::OpenProject, "BIGP"));
        const P3Object acts = project.object(m::Activities);
        const int count = acts.integer(m::Count);
        const double openSeconds = clock.elapsed() / 1000.0;

        clock.restart();
        const std::clock_t cpuStart = std::clock();
        long long logsRemoved = 0, logsAdded = 0;
        int written = 0;
        forEachElement(acts, [&](const P3Object& activity) {
            const QString id = activity.text(m::ActivityID);
            activity.put(m::Description, QStringLiteral("Checked ") + id);
            const P3Object logs = activity.object(m::ActivityLogs);
            std::vector<int> numbers;
            forEachElement(logs, [&](const P3Object& log) {
                numbers.push_back(log.integer(m::SequenceNumber));
                logs.call(m::Remove, log);
            });
            logsRemoved += static_cast<long long>(numbers.size());
            for (const int n : numbers) {
                const P3Object log = logs.object(m::NewItem);
                log.put(m::Text, QStringLiteral("Rewritten line %1 of %2").arg(n).arg(id));
                log.put(m::SequenceNumber, n);
                logs.call(m::Add, log);
            }
            logsAdded += static_cast<long long>(numbers.size());
            acts.call(m::Update, activity);
            ++written;
        });
        const double walkSeconds = clock.elapsed() / 1000.0;

        clock.restart();
        session.call(m::Logout);
        const double logoutSeconds = clock.elapsed() / 1000.0;
        const double cpuSeconds = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;

        std::printf("open project: %.2f s (%d activities)\n", openSeconds, count);
        std::printf("walk + update: %.2f s, %d activities, %lld logs removed, %lld added: %.0f activities/s\n",
                    walkSeconds, written, logsRemoved, logsAdded, written / walkSeconds);
        std::printf("logout (compaction): %.2f s\n", logoutSeconds);
        std::printf("write-back incl. logout: %.0f activities/s (target 5000)\n",
                    written / (walkSeconds + logoutSeconds));
        // On a machine shared with other work the wall-clock rate drops;
        // the CPU-time rate shows what the server itself costs.
        std::printf("write-back incl. logout per CPU second: %.0f activities/s\n", written / cpuSeconds);
    } catch (const OrvaneError& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 1;
    }
    return 0;
}

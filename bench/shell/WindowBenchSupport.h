#pragma once
// What the main window's benchmarks share: the timing figures, the child
// process that imports the generated project, and the wait for the window
// to finish a command.

#include "../p3/BenchProject.h"

#include "grid/ActivityGrid.h"
#include "p3link/FixedProjectChooser.h"
#include "p3link/P3Operations.h"
#include "p3sim/Server.h"
#include "shell/TMainForm.h"
#include "store/DataFieldList.h"
#include "store/DatabaseFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace orvane::bench {

inline double ms(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

// The runs of one step: printed as the median with the smallest and the
// largest run, and whether the median meets its target.
struct Spread {
    std::vector<double> runs;
    void add(double v) { runs.push_back(v); }
    void print(const char* what, double target, const char* unit = "ms") const
    {
        std::vector<double> v = runs;
        std::sort(v.begin(), v.end());
        const double median = v.empty() ? 0 : v[v.size() / 2];
        std::printf("%-40s median %8.1f %s  min %8.1f  max %8.1f  (%zu runs, target < %.0f %s)%s\n", what, median,
                    unit, v.empty() ? 0 : v.front(), v.empty() ? 0 : v.back(), v.size(), target, unit,
                    median < target ? "" : "  OVER");
    }
};

class NoView : public p3link::OperationView {};

// The child process: imports the generated project BIGP of `projects` into
// a new pdb.mdb of `work`.
inline int prepareDatabase(const QString& projects, const QString& work)
{
    p3sim::Control& control = p3sim::control();
    control.reset();
    control.settings = p3sim::Settings{};
    control.settings.projectsFolder = projects;
    control.settings.hasCurrentUser = true;
    control.settings.currentUser = QStringLiteral("PLANNER");
    QDir::setCurrent(work);
    store::createActivityDatabase(QStringLiteral("pdb.mdb"));
    store::ActivityStore store;
    store.openAtStartup([](const QString& m) { std::fprintf(stderr, "%s\n", qPrintable(m)); });
    p3link::P3Credentials credentials;
    NoView view;
    store::DataFieldList fields;
    QString projectGroup, projectName;
    p3link::FixedProjectChooser chooser(projects, QStringLiteral("BIGP"), QString());
    p3link::OperationContext context{store, credentials, nullptr, chooser, view, {projectGroup, projectName}, &fields};
    const p3link::ImportResult r = p3link::importProject(context);
    std::printf("imported %d activities\n", r.imported);
    return 0;
}

// Generates the project (six log lines on average, six codes) and imports
// it by running this program again as `program --prepare PROJECTS WORK`,
// unless `work` holds a database already. False on failure, said on stderr.
inline bool prepareProject(const QString& projects, const QString& work, int activities)
{
    QDir().mkpath(projects);
    if (!generateProject(projects, QStringLiteral("BIGP"), activities,
                         {QStringLiteral("--max-logs"), QStringLiteral("12"), QStringLiteral("--codes"),
                          QStringLiteral("6")})) {
        std::fprintf(stderr, "generator failed\n");
        return false;
    }
    QDir().mkpath(work);
    if (QFileInfo::exists(work + QStringLiteral("/pdb.mdb")))
        return true;
    QElapsedTimer importTimer;
    importTimer.start();
    if (QProcess::execute(QCoreApplication::applicationFilePath(), {QStringLiteral("--prepare"), projects, work})
        != 0) {
        QFile::remove(work + QStringLiteral("/pdb.mdb"));
        std::fprintf(stderr, "import failed\n");
        return false;
    }
    std::printf("import of %d activities in a child process: %.1f s\n", activities, ms(importTimer) / 1000);
    return true;
}

// What a window benchmark runs on: the options, the runs per step and the
// folders of the generated project and of its imported database.
struct WindowBenchSetup {
    BenchOptions options;
    int runs = 5;
    QString projects;
    QString work;
};

// Reads `[--activities N] [--keep DIR] [--runs N]` and prepares the project
// under `temp`, or under the kept folder, which keeps the imported database
// too for the next run. Nothing on failure, said on stderr.
inline std::optional<WindowBenchSetup> setUpWindowBench(QStringList args, const QTemporaryDir& temp)
{
    WindowBenchSetup setup;
    const int runsAt = int(args.indexOf(QStringLiteral("--runs")));
    if (runsAt >= 0 && runsAt + 1 < args.size()) {
        setup.runs = std::max(1, args[runsAt + 1].toInt());
        args.remove(runsAt, 2);
    }
    setup.options = parseBenchOptions(args);
    const QString& keep = setup.options.keep;
    setup.projects = QFileInfo(keep.isEmpty() ? temp.filePath(QStringLiteral("projects")) : keep).absoluteFilePath();
    setup.work = keep.isEmpty() ? temp.filePath(QStringLiteral("work")) : setup.projects + QStringLiteral("/work");
    if (!prepareProject(setup.projects, setup.work, setup.options.activities))
        return std::nullopt;
    return setup;
}

// Lets the window finish what a command started (the rest of a re-read is
// fetched from the event loop) and paint its grid.
inline void settle(shell::TMainForm& form)
{
    grid::GridViewModel& model = form.cxGridProject()->model();
    while (!model.allRowsPresent())
        QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    form.cxGridProject()->view().viewport()->repaint();
}

} // namespace orvane::bench

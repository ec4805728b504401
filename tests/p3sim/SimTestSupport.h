#pragma once
// Test support for code that talks to the simulated P3 server: a private
// copy of the sample projects folder and a freshly reset server control.

#include "p3link/P3Object.h"
#include "p3sim/Server.h"
#include "../support/SampleProjects.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace orvane::testing {

// Each test gets its own copy of samples/projects as the server's projects
// folder, the call log on, and no faults or settings from the environment.
class SimFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tempDir.isValid());
        projects = tempDir.filePath(QStringLiteral("projects"));
        ASSERT_TRUE(copyFolder(kSampleProjects, projects));
        p3sim::Control& c = p3sim::control();
        c.reset();
        c.settings = p3sim::Settings{};
        c.settings.projectsFolder = projects;
        c.recordCalls = true;
    }
    void TearDown() override
    {
        p3sim::flushAll();
        p3sim::control().reset();
    }

    static p3link::P3Object newSession() { return p3link::P3Object(p3sim::createSession()); }

    // A session signed in as PLANNER.
    static p3link::P3Object signedInSession()
    {
        p3link::P3Object s = newSession();
        s.call(p3link::member::Login, QStringLiteral("PLANNER"), QStringLiteral("SCHEDULE"), false);
        return s;
    }

    QString path(const QString& name) const { return QDir(projects).filePath(name); }

    QTemporaryDir tempDir;
    QString projects;
};

} // namespace orvane::testing

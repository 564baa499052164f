// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up and settings-store timings: the browser's start-up sequence with
// the shipped splash and skin, and a save and a read through the settings store.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/BrowserWindow.h"
#include "app/SingleInstance.h"
#include "app/Splash.h"
#include "settings/Registry.h"
#include "settings/SettingsStore.h"
#include "support/FakeInstance.h"

namespace {
double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8());
    // Start-up checks the desktop's file-type bindings: keep them in here too.
    qputenv("XDG_DATA_HOME", (home.path() + "/.local/share").toUtf8());
    const QString run = home.path() + "/run";
    QDir().mkpath(run);
    QFile::setPermissions(run, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", run.toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    std::vector<double> startup;
    for (int i = 0; i < 15; ++i) {
        app::BrowserWindow w;
        w.setSingleInstance(std::make_unique<testsupport::FakeInstance>(false));
        w.splash()->setMinimumMs(0);
        QElapsedTimer t;
        t.start();
        w.start(QString());
        startup.push_back(t.nsecsElapsed() / 1e6);
    }
    std::printf("startup_form_load %.2f ms\n", median(startup));

    settings::Registry::setFolder(home.path() + "/registry");
    settings::SettingsStore reg;
    const QString section = QString::fromUtf16(settings::kPreferencesSection);
    std::vector<double> saves, reads;
    for (int i = 0; i < 40; ++i) {
        QElapsedTimer t;
        t.start();
        reg.setValue(settings::Root::LocalMachine, section, "Slide Show Delay", QString::number(i));
        saves.push_back(t.nsecsElapsed() / 1e6);
        t.restart();
        reg.value(settings::Root::LocalMachine, section, "Slide Show Delay", "2000");
        reads.push_back(t.nsecsElapsed() / 1e6);
    }
    std::printf("registry_save %.3f ms\n", median(saves));
    std::printf("registry_get %.3f ms\n", median(reads));
    return 0;
}

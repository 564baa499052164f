// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Shared set-up for every test: a temporary HOME, XDG folders and settings
// store, so that no test touches the machine's real desktop or settings.

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtGlobal>

namespace testsupport {

// Call first thing in main(), before QApplication exists.
inline QTemporaryDir *isolateHome()
{
    static QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QLatin1String("/.config")).toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + QLatin1String("/.local/share")).toUtf8());
    qputenv("XDG_CACHE_HOME", (home.path() + QLatin1String("/.cache")).toUtf8());
    const QString run = home.path() + QLatin1String("/run");
    QDir().mkpath(run);
    QFile::setPermissions(run, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", run.toUtf8());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    return &home;
}

} // namespace testsupport

// QTEST_MAIN with the isolated home. Use in place of QTEST_MAIN.
#define PICTAVO_TEST_MAIN(TestObject)                                                              \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        testsupport::isolateHome();                                                                \
        QApplication app(argc, argv);                                                              \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }

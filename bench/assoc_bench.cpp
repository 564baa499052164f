// SPDX-License-Identifier: GPL-3.0-or-later
// Time of the start-up association check on a scratch home: the first start
// (registers and binds all fifteen types, store and desktop), an unchanged
// start (reads only) and the restore of "/DeAssociate".
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

#include "core/Paths.h"
#include "settings/Registry.h"
#include "shell/Associations.h"
#include "shell/DesktopIntegration.h"

namespace {

template <typename F> double millis(F f)
{
    QElapsedTimer timer;
    timer.start();
    f();
    return timer.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir; // on the ordinary disk: store writes are synced
    settings::Registry::setFolder(dir.filePath(QStringLiteral("registry")));
    QDir().mkpath(dir.filePath(QStringLiteral("prefix/share/pictavo")));
    QDir().mkpath(dir.filePath(QStringLiteral("prefix/bin")));
    QFile program(dir.filePath(QStringLiteral("prefix/bin/pictavo")));
    if (!program.open(QIODevice::WriteOnly))
        return 1;
    program.close();
    core::setProgramFolder(dir.filePath(QStringLiteral("prefix/share/pictavo")));
    shell::FreedesktopIntegration desktop(dir.filePath(QStringLiteral("config")),
                                          dir.filePath(QStringLiteral("data/applications")));
    shell::setDesktopIntegration(&desktop);

    const double first = millis([] { shell::associations::ensureAssociated(); });
    double unchanged = 0;
    const int rounds = 5;
    for (int i = 0; i < rounds; ++i)
        unchanged += millis([] { shell::associations::ensureAssociated(); });
    const double remove = millis([] { shell::associations::restorePrevious(); });

    std::printf("assoc_first_start %.1f ms\n", first);
    std::printf("assoc_unchanged_start %.1f ms\n", unchanged / rounds);
    std::printf("assoc_deassociate %.1f ms\n", remove);

    // A key with 40,000 values, read back whole from its store file.
    {
        QByteArray values;
        for (int i = 0; i < 40000; ++i)
            values += (i ? ",[\"v" : "[\"v") + QByteArray::number(i) + "\",\"" +
                      QByteArray::number(i) + "\"]";
        QFile store(settings::Registry::fileOf(settings::Root::LocalMachine));
        if (!store.open(QIODevice::WriteOnly))
            return 1;
        store.write(R"({"keys": [{"name": "Big", "values": [)" + values + "]}]}");
        store.close();
        qsizetype count = 0;
        const double load = millis([&] {
            count =
                settings::Registry::valueNames(settings::Root::LocalMachine, QStringLiteral("Big"))
                    .size();
        });
        if (count != 40000)
            return 1;
        std::printf("registry_load_40000_values %.1f ms\n", load);
    }
    shell::setDesktopIntegration(nullptr);
    return 0;
}

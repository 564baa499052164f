// SPDX-License-Identifier: GPL-3.0-or-later
// Helper process for the store tests: writes values into one root of a store
// folder, as a second Pictavo would.
//
//   registry_writer <folder> values <prefix> <count>
//       saves <prefix>0 .. <prefix><count-1>, each with its own name as text
//   registry_writer <folder> generations <keys>
//       forever: generation g = 1, 2, ... saves "k0".."k<keys-1>" = "g<g>"

#include <QCoreApplication>

#include <cstdio>

#include "settings/Registry.h"
#include "settings/SettingsStore.h"

namespace {
const QString kSection = QStringLiteral("SOFTWARE\\Test\\Writer\\");
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 4)
        return 2;
    settings::Registry::setFolder(args.at(1));
    settings::SettingsStore reg;
    std::fputs("started\n", stdout);
    std::fflush(stdout);

    if (args.at(2) == QLatin1String("values")) {
        const int count = args.at(4).toInt();
        for (int i = 0; i < count; ++i) {
            const QString name = args.at(3) + QString::number(i);
            if (!reg.setValue(settings::Root::LocalMachine, kSection, name, name))
                return 1;
        }
        return 0;
    }
    if (args.at(2) == QLatin1String("generations")) {
        const int keys = args.at(3).toInt();
        for (int g = 1;; ++g)
            for (int k = 0; k < keys; ++k)
                reg.setValue(settings::Root::LocalMachine, kSection, QStringLiteral("k%1").arg(k),
                             QStringLiteral("g%1").arg(g));
    }
    return 2;
}

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settings/Registry.h"

#include <QString>
#include <QStringList>

// Reads, writes, deletes and enumerates string settings. Holds no state:
// callers make one for a call or a short group of calls.
class CRegister
{
public:
    QString REGGetSetting(RegistryRoot root, const QString &section, const QString &key,
                          const QString &defaultValue) const;
    bool REGSaveSetting(RegistryRoot root, const QString &section, const QString &key,
                        const QString &value) const;
    bool REGDeleteSetting(RegistryRoot root, const QString &section, const QString &key) const;
    QStringList GetAllKeys(RegistryRoot root, const QString &path) const;

    static QString NormalizeSection(const QString &section);
};

// Where the application keeps its preferences.
inline constexpr char16_t kSettingsSection[] = u"SOFTWARE\\Quenbrook\\Pictavo Settings\\";

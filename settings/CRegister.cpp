// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/CRegister.h"

using settings::Registry;

namespace {
// "*" names the section's unnamed value.
QString valueName(const QString &key)
{
    return key == QLatin1String("*") ? QString() : key;
}
} // namespace

QString CRegister::NormalizeSection(const QString &section)
{
    QString s = section;
    if (s.startsWith(QLatin1Char('\\')))
        s.remove(0, 1);
    if (s.endsWith(QLatin1Char('\\')))
        s.chop(1);
    return s;
}

QString CRegister::REGGetSetting(RegistryRoot root, const QString &section, const QString &key,
                                 const QString &defaultValue) const
{
    const auto value = Registry::value(root, NormalizeSection(section), valueName(key));
    if (!value || value->data.isEmpty())
        return defaultValue;
    return value->data;
}

bool CRegister::REGSaveSetting(RegistryRoot root, const QString &section, const QString &key,
                               const QString &value) const
{
    return Registry::setValue(root, NormalizeSection(section), valueName(key), {value, false});
}

bool CRegister::REGDeleteSetting(RegistryRoot root, const QString &section,
                                 const QString &key) const
{
    if (key.isEmpty())
        return Registry::deleteKey(root, section);
    return Registry::deleteValue(root, NormalizeSection(section), valueName(key));
}

QStringList CRegister::GetAllKeys(RegistryRoot root, const QString &path) const
{
    return Registry::subKeys(root, path);
}

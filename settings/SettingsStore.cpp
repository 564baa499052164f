// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/SettingsStore.h"

#include "settings/Logging.h"

namespace settings {

namespace {
// "*" names the section's unnamed value.
QString valueName(const QString &key)
{
    return key == QLatin1String("*") ? QString() : key;
}
} // namespace

QString SettingsStore::normalizeSection(const QString &section)
{
    QString s = section;
    if (s.startsWith(QLatin1Char('\\')))
        s.remove(0, 1);
    if (s.endsWith(QLatin1Char('\\')))
        s.chop(1);
    return s;
}

QString SettingsStore::value(Root root, const QString &section, const QString &key,
                             const QString &defaultValue) const
{
    const auto stored = Registry::value(root, normalizeSection(section), valueName(key));
    if (!stored || stored->data.isEmpty())
        return defaultValue;
    return stored->data;
}

bool SettingsStore::setValue(Root root, const QString &section, const QString &key,
                             const QString &value) const
{
    if (Registry::setValue(root, normalizeSection(section), valueName(key), {value, false}))
        return true;
    qCWarning(lcSettings, "The setting \"%s\" could not be stored in %s", qUtf8Printable(key),
              qUtf8Printable(Registry::fileOf(root)));
    return false;
}

bool SettingsStore::remove(Root root, const QString &section, const QString &key) const
{
    if (key.isEmpty())
        return Registry::deleteKey(root, section);
    return Registry::deleteValue(root, normalizeSection(section), valueName(key));
}

QStringList SettingsStore::allKeys(Root root, const QString &path) const
{
    return Registry::subKeys(root, path);
}

} // namespace settings

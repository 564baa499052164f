// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include "settings/Registry.h"

namespace settings {

// Reads, writes, removes and lists string settings by section and key. Holds
// no state: callers make one for a call or a short group of calls. A section
// is a key path of the store; leading and trailing "\" are ignored. The key
// "*" names the section's unnamed value.
class SettingsStore
{
public:
    // The stored text, or defaultValue when there is none or it is empty.
    QString value(Root root, const QString &section, const QString &key,
                  const QString &defaultValue) const;
    // False (and a warning in the log) when the store could not be written.
    bool setValue(Root root, const QString &section, const QString &key,
                  const QString &value) const;
    // Removes one value; with an empty key, the section itself when it holds
    // no sections of its own.
    bool remove(Root root, const QString &section, const QString &key) const;
    // The names of the sections below path.
    QStringList allKeys(Root root, const QString &path) const;

    static QString normalizeSection(const QString &section);
};

// Where the application keeps its preferences.
inline constexpr char16_t kPreferencesSection[] = u"SOFTWARE\\Quenbrook\\Pictavo Settings\\";

} // namespace settings

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMap>

#include "shell/DesktopIntegration.h"

namespace testsupport {

// An in-memory DesktopIntegration for tests; installs itself while alive.
class FakeDesktopIntegration : public shell::DesktopIntegration
{
public:
    FakeDesktopIntegration() { shell::setDesktopIntegration(this); }
    ~FakeDesktopIntegration() override { shell::setDesktopIntegration(nullptr); }
    FakeDesktopIntegration(const FakeDesktopIntegration &) = delete;
    FakeDesktopIntegration &operator=(const FakeDesktopIntegration &) = delete;

    QMap<QString, QString> defaults; // MIME type -> line value
    QMap<QString, QByteArray> entries;
    int writes = 0; // changes of defaults and entries
    int notifications = 0;

    std::optional<QString> defaultApplications(const QString &mimeType) override
    {
        if (!defaults.contains(mimeType))
            return std::nullopt;
        return defaults.value(mimeType);
    }
    bool setDefaultApplications(const QString &mimeType,
                                const std::optional<QString> &value) override
    {
        ++writes;
        if (value)
            defaults.insert(mimeType, *value);
        else
            defaults.remove(mimeType);
        return true;
    }
    std::optional<QByteArray> desktopEntry(const QString &fileName) override
    {
        if (!entries.contains(fileName))
            return std::nullopt;
        return entries.value(fileName);
    }
    bool writeDesktopEntry(const QString &fileName, const QByteArray &contents) override
    {
        ++writes;
        entries.insert(fileName, contents);
        return true;
    }
    void notifyChanged() override { ++notifications; }
};

} // namespace testsupport

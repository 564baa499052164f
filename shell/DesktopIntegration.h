// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

namespace shell {

// The desktop's own mechanism for file-type bindings, which the association
// module mirrors its store into so that the desktop really opens images with
// Pictavo: a desktop entry in the user's applications folder, the default
// application per MIME type in the user's mimeapps.list, and a refresh of the
// desktop database after a change. The policy (what to bind, the backups)
// stays in the association module; this is only the mechanism.
class DesktopIntegration
{
public:
    virtual ~DesktopIntegration() = default;

    // The value of mimeType's line in the [Default Applications] section of
    // the user's mimeapps.list ("a.desktop;b.desktop;"); nullopt when none.
    virtual std::optional<QString> defaultApplications(const QString &mimeType) = 0;
    // Writes that line, or removes it for nullopt; every other line stays.
    virtual bool setDefaultApplications(const QString &mimeType,
                                        const std::optional<QString> &value) = 0;

    // The user's desktop entry fileName ("pictavo.desktop"); nullopt when absent.
    virtual std::optional<QByteArray> desktopEntry(const QString &fileName) = 0;
    virtual bool writeDesktopEntry(const QString &fileName, const QByteArray &contents) = 0;

    // Tells the desktop that bindings changed.
    virtual void notifyChanged() = 0;
};

// The freedesktop implementation: mimeapps.list in the user's configuration
// folder, desktop entries in the user's applications folder, and
// update-desktop-database (when installed) as the change notification.
class FreedesktopIntegration : public DesktopIntegration
{
public:
    // Empty folders: $XDG_CONFIG_HOME and $XDG_DATA_HOME/applications, with
    // their usual defaults under $HOME.
    explicit FreedesktopIntegration(const QString &configFolder = {},
                                    const QString &applicationsFolder = {});

    QString mimeAppsPath() const;
    QString applicationsFolder() const { return m_applications; }

    std::optional<QString> defaultApplications(const QString &mimeType) override;
    bool setDefaultApplications(const QString &mimeType,
                                const std::optional<QString> &value) override;
    std::optional<QByteArray> desktopEntry(const QString &fileName) override;
    bool writeDesktopEntry(const QString &fileName, const QByteArray &contents) override;
    void notifyChanged() override;

    static QString userConfigFolder();
    static QString userApplicationsFolder();

private:
    QString m_config;
    QString m_applications;
};

// Picks the implementation for this platform.
std::unique_ptr<DesktopIntegration> createDesktopIntegration();

// The integration in force: the platform's unless a test installed its own.
DesktopIntegration &desktopIntegration();
// Install a replacement (not owned); nullptr restores the platform's.
void setDesktopIntegration(DesktopIntegration *replacement);

} // namespace shell

// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/DesktopIntegration.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "shell/Logging.h"
#include "shell/MimeAppsList.h"

namespace shell {

namespace {

DesktopIntegration *g_replacement = nullptr;

const QString kDefaultSection = QStringLiteral("Default Applications");

// A folder named by an environment variable when it holds an absolute path,
// as the XDG base directory rules say; otherwise the fallback under $HOME.
QString xdgFolder(const char *variable, const QString &fallbackUnderHome)
{
    const QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    QString home = qEnvironmentVariable("HOME");
    if (home.isEmpty())
        home = QDir::homePath();
    return QDir::cleanPath(home + QLatin1Char('/') + fallbackUnderHome);
}

enum class ReadResult
{
    Ok,
    Missing,
    Failed
};

// Desktop files are small; a larger one is not read (nor replaced).
constexpr qint64 kMaxDesktopFileBytes = qint64(16) * 1024 * 1024;

// Reads a regular file only: a pipe or device in its place would block the
// reader forever. Opened without blocking and checked on the descriptor, so
// nothing can be swapped in between; anything else fails (and is then never
// replaced).
ReadResult readFile(const QString &path, QByteArray *data)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    struct stat st = {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxDesktopFileBytes) {
        ::close(fd);
        qCWarning(lcShell, "%s is not a regular file of a sensible size; it is left alone",
                  qUtf8Printable(path));
        return ReadResult::Failed;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return ReadResult::Failed;
    }
    // What fstat said, and a byte more to see a file that grew meanwhile.
    *data = file.read(qint64(st.st_size) + 1);
    if (data->size() > kMaxDesktopFileBytes)
        return ReadResult::Failed;
    return file.error() == QFileDevice::NoError ? ReadResult::Ok : ReadResult::Failed;
}

bool writeFileAtomically(const QString &path, const QByteArray &data)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(data) != data.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace

FreedesktopIntegration::FreedesktopIntegration(const QString &configFolder,
                                               const QString &applicationsFolder)
    : m_config(configFolder.isEmpty() ? userConfigFolder() : configFolder),
      m_applications(applicationsFolder.isEmpty() ? userApplicationsFolder() : applicationsFolder)
{
}

QString FreedesktopIntegration::userConfigFolder()
{
    return xdgFolder("XDG_CONFIG_HOME", QStringLiteral(".config"));
}

QString FreedesktopIntegration::userApplicationsFolder()
{
    return xdgFolder("XDG_DATA_HOME", QStringLiteral(".local/share")) +
           QLatin1String("/applications");
}

QString FreedesktopIntegration::mimeAppsPath() const
{
    return m_config + QLatin1String("/mimeapps.list");
}

std::optional<QString> FreedesktopIntegration::defaultApplications(const QString &mimeType)
{
    QByteArray text;
    if (readFile(mimeAppsPath(), &text) != ReadResult::Ok)
        return std::nullopt;
    return MimeAppsList(text).value(kDefaultSection, mimeType);
}

bool FreedesktopIntegration::setDefaultApplications(const QString &mimeType,
                                                    const std::optional<QString> &value)
{
    QByteArray text;
    // A list that exists but cannot be read is never replaced: that would
    // lose every other program's entries.
    if (readFile(mimeAppsPath(), &text) == ReadResult::Failed)
        return false;
    MimeAppsList list(text);
    if (value)
        list.setValue(kDefaultSection, mimeType, *value);
    else
        list.removeValue(kDefaultSection, mimeType);
    const QByteArray changed = list.text();
    if (changed == text)
        return true;
    return writeFileAtomically(mimeAppsPath(), changed);
}

std::optional<QByteArray> FreedesktopIntegration::desktopEntry(const QString &fileName)
{
    QByteArray data;
    if (readFile(m_applications + QLatin1Char('/') + fileName, &data) != ReadResult::Ok)
        return std::nullopt;
    return data;
}

bool FreedesktopIntegration::writeDesktopEntry(const QString &fileName, const QByteArray &contents)
{
    return writeFileAtomically(m_applications + QLatin1Char('/') + fileName, contents);
}

void FreedesktopIntegration::notifyChanged()
{
    // Without the tool the desktop still reads mimeapps.list; a missing or
    // failing tool is not an error.
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("update-desktop-database"));
    if (tool.isEmpty() || !QFileInfo(m_applications).isDir())
        return;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(tool, {m_applications});
    if (!process.waitForStarted(5000))
        return;
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(1000);
    }
}

std::unique_ptr<DesktopIntegration> createDesktopIntegration()
{
    return std::make_unique<FreedesktopIntegration>();
}

DesktopIntegration &desktopIntegration()
{
    if (g_replacement)
        return *g_replacement;
    static const std::unique_ptr<DesktopIntegration> platform = createDesktopIntegration();
    return *platform;
}

void setDesktopIntegration(DesktopIntegration *replacement)
{
    g_replacement = replacement;
}

} // namespace shell

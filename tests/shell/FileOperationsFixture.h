// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the file-operation tests share: a fresh pair of folders (the sources
// and a destination) for each test, a file system that can be told to fail,
// scripted answers to the questions, and a record of the progress shown.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <utime.h>

#include "shell/FileOperations.h"
#include "support/FaultyFileSystem.h"
#include "support/ScriptedPrompts.h"

Q_DECLARE_METATYPE(core::FileOperation)

namespace fileopstest {

inline QByteArray patternBytes(qint64 size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        data[i] = char((i * 131 + i / 4096) & 0xff);
    return data;
}

inline void writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    QCOMPARE(f.write(data), data.size());
}

inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return f.readAll();
}

// Names in folder, hidden ones included: a left-over temporary file shows.
inline QStringList namesIn(const QString &folder)
{
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    names.sort();
    return names;
}

inline void setModified(const QString &path, qint64 seconds)
{
    struct utimbuf times = {};
    times.actime = time_t(seconds);
    times.modtime = time_t(seconds);
    QCOMPARE(::utime(QFile::encodeName(path).constData(), &times), 0);
}

inline qint64 modifiedSeconds(const QString &path)
{
    return QFileInfo(path).lastModified().toSecsSinceEpoch();
}

// The state every file-operation test starts from: a test class derives
// from it and gets empty folders, unanswered prompts, a file system without
// faults and a cleared progress record before each test.
class FileOperationsFixture : public QObject
{
    Q_OBJECT

protected:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<testsupport::ScriptedPrompts> m_prompts;
    testsupport::FaultyFileSystem m_fs;
    testsupport::RecordingProgress m_progress;
    QString m_src;  // a folder with the sources
    QString m_dest; // a folder to copy and move to

    int run(core::FileOperation op, const QStringList &sources, const QString &target)
    {
        shell::FileOperations service(&m_fs, &m_progress);
        return service.run(op, sources, target);
    }
    QString source(const QString &name) const { return m_src + QLatin1Char('/') + name; }
    QString dest(const QString &name) const { return m_dest + QLatin1Char('/') + name; }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_src = m_dir->path() + QStringLiteral("/pictures");
        m_dest = m_dir->path() + QStringLiteral("/usb");
        QVERIFY(QDir().mkpath(m_src));
        QVERIFY(QDir().mkpath(m_dest));
        m_prompts = std::make_unique<testsupport::ScriptedPrompts>();
        m_fs.fault = {};
        m_fs.freeSpace = -1;
        m_fs.corruptCopies = false;
        m_fs.calls.clear();
        m_progress.stopAtBytes = -1;
        m_progress.totalBytes = 0;
        m_progress.totalFiles = 0;
        m_progress.lastBytes = 0;
        m_progress.ended = false;
    }

    void cleanup()
    {
        m_prompts.reset();
        m_dir.reset();
    }
};

} // namespace fileopstest

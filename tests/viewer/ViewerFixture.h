// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the viewer window's tests share: a folder of generated pictures, a
// stand-in for the browser, the viewer's stored settings, and the window's
// parts found by their object names.

#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "core/Process.h"
#include "imaging/ImageView.h"
#include "settings/SettingsStore.h"
#include "viewer/BrowserLink.h"
#include "viewer/ViewerInstance.h"
#include "viewer/ViewerWindow.h"

namespace viewertest {

class FakeLink : public viewer::BrowserLink
{
public:
    int shown = 0;
    QStringList checked;
    void showBrowser() override { ++shown; }
    void selectPath(const QString &path) override { checked << path; }
    void refreshImages(const QString &, const QString &) override {}
    QWidget *browserWindow() override { return nullptr; }
    // "objectName element" for each skin applied
    QStringList skinned;
    void applySkin(QWidget *window) override { skinned << window->objectName() + " Window"; }
    void applySkinElement(QWidget *child, const QString &element) override
    {
        skinned << child->objectName() + ' ' + element;
    }
};

// Counts the commands that other parts fill in.
class CountingViewer : public viewer::ViewerWindow
{
public:
    using viewer::ViewerWindow::ViewerWindow;
    int deletes = 0;
    void deleteImage() override { ++deletes; }
};

inline QString setting(const char *key)
{
    return settings::SettingsStore().value(settings::Root::LocalMachine,
                                           QString::fromUtf16(settings::kPreferencesSection),
                                           QString::fromLatin1(key), QStringLiteral("<absent>"));
}

inline void store(const char *key, const QString &value)
{
    settings::SettingsStore().setValue(settings::Root::LocalMachine,
                                       QString::fromUtf16(settings::kPreferencesSection),
                                       QString::fromLatin1(key), value);
}

inline imaging::ImageView *view(viewer::ViewerWindow *v)
{
    return v->findChild<imaging::ImageView *>(QStringLiteral("ImgX"));
}

inline QWidget *toolbar(viewer::ViewerWindow *v)
{
    return v->findChild<QWidget *>(QStringLiteral("Toolbar"));
}

inline QTimer *slideTimer(viewer::ViewerWindow *v)
{
    return v->findChild<QTimer *>(QStringLiteral("tmrSlideShow"));
}

inline QAction *act(viewer::ViewerWindow *v, const char *name)
{
    return v->findChild<QAction *>(QString::fromLatin1(name));
}

// The state every viewer test starts from: a test class derives from it and
// gets a fresh link and cleared settings before each test, and no viewer
// left after it.
class ViewerFixture : public QObject
{
    Q_OBJECT

protected:
    QTemporaryDir m_dir;
    FakeLink m_link;
    QPointer<viewer::ViewerWindow> m_v;

    QString path(const QString &name) const { return m_dir.filePath(name); }

    QString makeImage(const QString &name, int w, int h, const char *format = nullptr)
    {
        const QString p = path(name);
        if (!QFile::exists(p)) {
            QImage img(w, h, QImage::Format_RGB32);
            img.fill(QColor::fromHsv((w * 7 + h) % 360, 160, 200));
            if (!img.save(p, format))
                qFatal("cannot write fixture %s", qPrintable(p));
        }
        return p;
    }

    // A hidden viewer with settings read, decoding in the foreground unless
    // a test wants the background.
    viewer::ViewerWindow *make(bool fullScreen = false, bool prefetch = false)
    {
        store("FullScreen", fullScreen ? QStringLiteral("-1") : QStringLiteral("0"));
        m_v = new viewer::ViewerWindow(&m_link);
        m_v->setPrefetchEnabled(prefetch);
        return m_v;
    }

    QStringList smallList(int n)
    {
        QStringList list;
        for (int i = 0; i < n; ++i)
            list << makeImage(QStringLiteral("s%1.png").arg(i), 120 + i, 100);
        return list;
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void init()
    {
        m_link = FakeLink();
        for (const char *key : {"AntiAlias", "Slide Show Delay", "FullScreen"})
            settings::SettingsStore().remove(settings::Root::LocalMachine,
                                             QString::fromUtf16(settings::kPreferencesSection),
                                             QString::fromLatin1(key));
        core::setEndProcessHandler({});
    }

    void cleanup()
    {
        delete m_v.data();
        viewer::unloadViewer();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        core::setEndProcessHandler({});
    }
};

} // namespace viewertest

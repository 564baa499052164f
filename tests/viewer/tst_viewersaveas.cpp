// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's Save As: the dialog's preselection and default extension, the
// ten formats written and read back, saving over the shown file, and
// failures that leave the old file as it was.

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

#include "ViewerFixture.h"
#include "core/Formats.h"
#include "imaging/MagickClient.h"
#include "support/ImageFixtures.h"
#include "support/ScriptedPrompts.h"
#include "support/TestSupport.h"
#include "viewer/SaveFormats.h"

using testsupport::ScriptedPrompts;
using namespace viewertest;

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The smallest GIF: one white pixel. Qt reads GIF but cannot write it.
const QByteArray kGif =
    QByteArray::fromBase64("R0lGODlhAQABAIAAAP///wAAACH5BAEAAAAALAAAAAABAAEAAAICRAEAOw==");

core::FileDialogResult chosen(const QString &file, int entry)
{
    return {true, {file}, entry - 1};
}

} // namespace

class TestViewerSaveAs : public viewertest::ViewerFixture
{
    Q_OBJECT

    // A sample picture in the format of save code `code`, written by the engine.
    QString sample(int code, const QString &name, QSize size = {41, 27})
    {
        const QString p = path(name);
        if (!QFile::exists(p)) {
            imaging::ImageEngine engine;
            engine.loadPicture(fixtures::picture(size.width(), size.height()));
            engine.save(p, code);
        }
        return p;
    }

    viewer::ViewerWindow *showing(const QString &file)
    {
        viewer::ViewerWindow *v = make(false);
        v->showImages({file}, 0);
        return v;
    }

    // Files of the test folder whose names begin with `prefix`, hidden ones
    // (a temporary file left behind) included.
    QStringList leftovers(const QString &folder, const QString &prefix)
    {
        return QDir(folder).entryList(
            {prefix + QLatin1Char('*'), QStringLiteral(".") + prefix + QLatin1Char('*')},
            QDir::Files | QDir::Hidden | QDir::System);
    }

private slots:
    void saveFilterAndTable_data()
    {
        QTest::addColumn<int>("entry");
        QTest::addColumn<QString>("ext");
        QTest::addColumn<int>("code");
        QTest::newRow("1 jpg") << 1 << "jpg" << 1;
        QTest::newRow("2 png") << 2 << "png" << 2;
        QTest::newRow("3 psd") << 3 << "psd" << 9;
        QTest::newRow("4 tif") << 4 << "tif" << 3;
        QTest::newRow("5 pcx") << 5 << "pcx" << 4;
        QTest::newRow("6 tga") << 6 << "tga" << 5;
        QTest::newRow("7 wbmp") << 7 << "wbmp" << 10;
        QTest::newRow("8 bmp") << 8 << "bmp" << 6;
        QTest::newRow("9 wmf") << 9 << "wmf" << 7;
        QTest::newRow("10 emf") << 10 << "emf" << 8;
    }
    void saveFilterAndTable()
    {
        QFETCH(int, entry);
        QFETCH(QString, ext);
        QFETCH(int, code);
        int got = -1;
        QCOMPARE(viewer::getSaveFormat(entry, &got), ext);
        QCOMPARE(got, code);
        QCOMPARE(viewer::saveFilterIndexFor(code), entry);
        const QStringList parts = viewer::saveFilter().split(u'|');
        QCOMPARE(parts.size(), 20);
        QCOMPARE(parts.at(2 * entry - 1), QStringLiteral("*.") + ext);
        QVERIFY(parts.at(2 * entry - 2).endsWith(QStringLiteral("  <%1>").arg(ext.toUpper())));
    }

    void saveFormatOutsideTheTable()
    {
        for (int index : {0, 11, -1}) {
            int code = 42;
            QCOMPARE(viewer::getSaveFormat(index, &code), QString());
            QCOMPARE(code, 42);
        }
        QCOMPARE(viewer::saveFilterIndexFor(core::FormatGIF), 0);
        QCOMPARE(viewer::saveFilter(),
                 QStringLiteral(
                     "Joint Photographic Experts Group  <JPG>|*.jpg|Portable Network Graphics  "
                     "<PNG>|*.png|Photoshop  <PSD>|*.psd|Tagged Image File  <TIF>|*.tif|ZSoft "
                     "PaintBrush  <PCX>|*.pcx|Truevision Targa  <TGA>|*.tga|Wireless Bitmap  "
                     "<WBMP>|*.wbmp|Windows Bitmap  <BMP>|*.bmp|Windows Metafile  "
                     "<WMF>|*.wmf|Windows Enhanced Metafile  <EMF>|*.emf"));
    }

    // The shown image's format picks the dialog's entry and the extension a
    // typed name without one gets.
    void dialogStartsOnTheShownFormat_data() { saveFilterAndTable_data(); }
    void dialogStartsOnTheShownFormat()
    {
        QFETCH(int, entry);
        QFETCH(QString, ext);
        QFETCH(int, code);
        ScriptedPrompts prompts;
        viewer::ViewerWindow *v = showing(sample(code, QStringLiteral("shown.") + ext));
        v->saveAs();
        QCOMPARE(prompts.count(QStringLiteral("file")), 1);
        const core::FileDialogRequest &request = prompts.shown.last().fileRequest;
        QCOMPARE(request.mode, core::FileDialogRequest::Mode::Save);
        QCOMPARE(request.filterIndex, entry - 1);
        QCOMPARE(request.defaultSuffix, ext);
        // The first Save As opens beside the picture shown.
        QCOMPARE(request.folder, QFileInfo(v->paths().at(v->currentIndex())).absolutePath());
        QVERIFY(request.confirmOverwrite);
        QCOMPARE(request.nameFilters.size(), 10);
        QCOMPARE(v->fileDialog().flags(), viewer::kSaveDialogFlags);
        QCOMPARE(v->fileDialog().option(), 0);
        // Cancelled: nothing written, nothing said.
        QCOMPARE(prompts.count(QStringLiteral("message")), 0);
    }

    // A PNG picture converted through the viewer into each format, then read
    // back by Pictavo and by ImageMagick.
    void savesInEveryFormat_data() { saveFilterAndTable_data(); }
    void savesInEveryFormat()
    {
        QFETCH(int, entry);
        QFETCH(QString, ext);
        QFETCH(int, code);
        ScriptedPrompts prompts;
        const QString source = sample(core::FormatPNG, QStringLiteral("convert-me.png"));
        viewer::ViewerWindow *v = showing(source);
        const QString target = path(QStringLiteral("converted.") + ext);
        QFile::remove(target);
        prompts.fileAnswers << chosen(target, entry);
        v->saveAs();
        QCOMPARE(prompts.texts(), QStringList());

        const imaging::Decoded d = imaging::decodeFile(target);
        QVERIFY2(d.ok(), qPrintable(d.error));
        QCOMPARE(d.formatCode, code);
        QCOMPARE(d.originalSize, QSize(41, 27));
        // The viewer goes on showing the same entry.
        QCOMPARE(v->paths(), QStringList{source});
        QCOMPARE(v->currentIndex(), 0);
        QCOMPARE(view(v)->engine().filePath(), source);
        QVERIFY(v->windowTitle().startsWith(QStringLiteral("convert-me.png- Pictavo ")));

        if (QStandardPaths::findExecutable(QStringLiteral("identify")).isEmpty())
            QSKIP("ImageMagick's identify is not installed");
        if (code == core::FormatEMF)
            QSKIP("ImageMagick reads no EMF on Linux; the metafile tests check its layout");
        QProcess identify;
        identify.start(QStringLiteral("identify"),
                       {QStringLiteral("-density"), QStringLiteral("96"),
                        QStringLiteral("%1:%2").arg(ext.toUpper(), target)});
        QVERIFY(identify.waitForFinished(20000));
        QCOMPARE(identify.exitCode(), 0);
        const QByteArray out = identify.readAllStandardOutput();
        QVERIFY2(out.contains(" 41x27 "), out.constData());
    }

    // The format follows the entry; a typed extension stays as typed.
    void bmpEntryWithTypedPngName()
    {
        ScriptedPrompts prompts;
        viewer::ViewerWindow *v = showing(sample(core::FormatPNG, QStringLiteral("typed.png")));
        prompts.fileAnswers << chosen(path(QStringLiteral("copy.png")), 8);
        v->saveAs();
        const imaging::Decoded d = imaging::decodeFile(path(QStringLiteral("copy.png")));
        QVERIFY2(d.ok(), qPrintable(d.error));
        QCOMPARE(d.formatCode, int(core::FormatBMP));
        QVERIFY(readAll(path(QStringLiteral("copy.png"))).startsWith("BM"));
    }

    // The default extension is fixed before the dialog opens: a name without
    // one gets the preselected entry's, the format is the chosen entry's.
    void nameWithoutExtensionGetsThePreselectedOne()
    {
        ScriptedPrompts prompts;
        viewer::ViewerWindow *v = showing(sample(core::FormatPNG, QStringLiteral("bare.png")));
        prompts.fileAnswers << chosen(path(QStringLiteral("bare-copy")), 1);
        v->saveAs();
        QVERIFY(!QFile::exists(path(QStringLiteral("bare-copy"))));
        const imaging::Decoded d = imaging::decodeFile(path(QStringLiteral("bare-copy.png")));
        QVERIFY2(d.ok(), qPrintable(d.error));
        QCOMPARE(d.formatCode, int(core::FormatJPG));
    }

    // A format without an entry keeps the entry of the last dialog, and the
    // Open dialog's entry and file name carry over to Save As.
    void gifKeepsTheLastEntry()
    {
        ScriptedPrompts prompts;
        const QString gif = path(QStringLiteral("one.gif"));
        QVERIFY(writeAll(gif, kGif));
        viewer::ViewerWindow *v = showing(sample(core::FormatPNG, QStringLiteral("first.png")));
        prompts.fileAnswers << chosen(path(QStringLiteral("as-tga.tga")), 6);
        v->saveAs();
        QVERIFY(QFile::exists(path(QStringLiteral("as-tga.tga"))));

        v->showImages({gif}, 0);
        QCOMPARE(view(v)->engine().formatCode(), int(core::FormatGIF));
        v->saveAs();
        QCOMPARE(prompts.shown.last().fileRequest.filterIndex, 5);
        QCOMPARE(prompts.shown.last().fileRequest.defaultSuffix, QStringLiteral("tga"));
        QCOMPARE(prompts.shown.last().fileRequest.fileName, path(QStringLiteral("as-tga.tga")));

        // Open on the third entry of its own filter, a GIF chosen: Save As
        // starts on the third entry (PSD) with the opened file's name.
        prompts.fileAnswers << chosen(gif, 3);
        QVERIFY(v->openFiles());
        QCOMPARE(v->fileDialog().option(), 1);
        QCOMPARE(v->fileDialog().flags(), viewer::kOpenDialogFlags);
        v->saveAs();
        QCOMPARE(prompts.shown.last().fileRequest.filterIndex, 2);
        QCOMPARE(prompts.shown.last().fileRequest.defaultSuffix, QStringLiteral("psd"));
        QCOMPARE(prompts.shown.last().fileRequest.fileName, gif);
        QCOMPARE(prompts.texts(), QStringList());
    }

    // Saving onto the very file that is shown replaces it whole; the view,
    // the list and the title stay.
    void saveOverTheShownFile()
    {
        ScriptedPrompts prompts;
        const QStringList list{sample(core::FormatPNG, QStringLiteral("over-a.png")),
                               sample(core::FormatPNG, QStringLiteral("over-b.png"), {30, 60})};
        viewer::ViewerWindow *v = make(false);
        v->showImages(list, 1);
        const QString title = v->windowTitle();
        v->rotatePlus90();
        QCOMPARE(view(v)->engine().width(), 60);
        prompts.fileAnswers << chosen(list.at(1), 8);
        v->saveAs();
        QCOMPARE(prompts.texts(), QStringList());
        const imaging::Decoded d = imaging::decodeFile(list.at(1));
        QVERIFY2(d.ok(), qPrintable(d.error));
        QCOMPARE(d.formatCode, int(core::FormatBMP));
        QCOMPARE(d.originalSize, QSize(60, 30));
        QCOMPARE(v->paths(), list);
        QCOMPARE(v->currentIndex(), 1);
        QCOMPARE(v->windowTitle(), title);
        QCOMPARE(view(v)->engine().pageCount(), 1);
        QCOMPARE(view(v)->engine().width(), 60);
        QCOMPARE(leftovers(m_dir.path(), QStringLiteral("over-b")),
                 QStringList{QStringLiteral("over-b.png")});
        // Shown again from the disk, it is the saved picture.
        v->previousImage();
        QCOMPARE(v->currentIndex(), 0);
        v->nextImage();
        QCOMPARE(v->currentIndex(), 1);
        QCOMPARE(view(v)->engine().width(), 60);
    }

    // Each failure says why in one message and leaves the old file exactly
    // as it was, with no temporary file beside it.
    void failuresKeepTheOldFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("entry");
        QTest::addColumn<QString>("reason");
        QTest::newRow("name is a folder") << "folder" << 2 << "it is a folder";
        QTest::newRow("name is a pipe") << "fifo" << 2 << "it is not a regular file";
        QTest::newRow("folder missing") << "missing" << 2 << "the folder does not exist";
        QTest::newRow("folder not writable") << "readonly" << 2 << "the folder cannot be written";
        QTest::newRow("too large for PSD") << "large" << 3 << "too large for the PSD format";
        QTest::newRow("helper fails") << "helper" << 5 << "";
    }
    void failuresKeepTheOldFile()
    {
        QFETCH(QString, kind);
        QFETCH(int, entry);
        QFETCH(QString, reason);
        ScriptedPrompts prompts;
        const QString folder = path(QStringLiteral("fail-") + kind);
        QVERIFY(QDir().mkpath(folder));
        QString target = folder + QStringLiteral("/target.png");
        QVERIFY(writeAll(target, "old contents"));
        QString shown = sample(core::FormatPNG, QStringLiteral("fail-source.png"));

        if (kind == QLatin1String("folder")) {
            target = folder + QStringLiteral("/a-folder.png");
            QVERIFY(QDir().mkpath(target));
        } else if (kind == QLatin1String("fifo")) {
            target = folder + QStringLiteral("/a-pipe.png");
            QCOMPARE(::mkfifo(QFile::encodeName(target).constData(), 0600), 0);
        } else if (kind == QLatin1String("missing")) {
            target = folder + QStringLiteral("/no-such-folder/target.png");
        } else if (kind == QLatin1String("readonly")) {
            if (::geteuid() == 0)
                QSKIP("root writes into any folder; tst_engine_convert checks a read-only disk");
            QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        } else if (kind == QLatin1String("large")) {
            // Classic Photoshop files hold at most 30000 pixels on a side.
            shown = sample(core::FormatPNG, QStringLiteral("fail-wide.png"), {30001, 2});
        } else if (kind == QLatin1String("helper")) {
            imaging::magick::setHelperPath(QStringLiteral("/bin/false"));
        }
        viewer::ViewerWindow *v = showing(shown);
        QCOMPARE(view(v)->engine().pageCount(), 1);
        prompts.fileAnswers << chosen(target, entry);
        v->saveAs();
        imaging::magick::setHelperPath({});
        imaging::magick::shutdownHelper();
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        const QStringList messages = prompts.texts();
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages.first().startsWith(QStringLiteral("Cannot write ") +
                                             QFileInfo(target).fileName() + QStringLiteral(": ")),
                 qPrintable(messages.first()));
        QVERIFY2(messages.first().contains(reason), qPrintable(messages.first()));
        QCOMPARE(readAll(folder + QStringLiteral("/target.png")), QByteArray("old contents"));
        QStringList expected{QStringLiteral("target.png")};
        if (kind == QLatin1String("fifo"))
            expected.prepend(QStringLiteral("a-pipe.png"));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name),
                 expected);
        QCOMPARE(v->paths(), QStringList{shown});
    }
};

PICTAVO_TEST_MAIN(TestViewerSaveAs)
#include "tst_viewersaveas.moc"

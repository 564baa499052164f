// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "imaging/FileDialogHelper.h"
#include "support/ScriptedPrompts.h"
#include "support/TestSupport.h"

using core::FileDialogRequest;
using core::FileDialogResult;
using testsupport::ScriptedPrompts;

namespace {

// The viewer's open filter, which has every awkward part: several patterns,
// double blanks, "<...>" and a capital pattern.
const QString kOpenFilter = QStringLiteral(
    "All Images|*.jpg;*.jpeg;*.gif|Joint Photographic Experts Group  <JPG,JPEG>|*.jpg;*.jpeg|"
    "ICO Files  <ICO>|*.ICO|Windows Enhanced Meta File <EMF>|*.emf|All Files|*.*");
const QString kSaveFilter = QStringLiteral(
    "Joint Photographic Experts Group  <JPG>|*.jpg|Portable Network Graphics  <PNG>|*.png|"
    "Photoshop  <PSD>|*.psd|Tagged Image File  <TIF>|*.tif|ZSoft PaintBrush  <PCX>|*.pcx|"
    "Truevision Targa  <TGA>|*.tga|Wireless Bitmap  <WBMP>|*.wbmp|Windows Bitmap  <BMP>|*.bmp|"
    "Windows Metafile  <WMF>|*.wmf|Windows Enhanced Metafile  <EMF>|*.emf");
constexpr long kOpenFlags = 8393220; // hide read-only, multiple, must exist, sizing
constexpr long kSaveFlags = 8388614; // overwrite prompt, hide read-only, sizing

FileDialogResult chosen(const QStringList &files, int filterIndex = 0)
{
    FileDialogResult r;
    r.accepted = true;
    r.files = files;
    r.filterIndex = filterIndex;
    return r;
}

} // namespace

class TestFileDialogHelper : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void filterToQt_data();
    void filterToQt();
    void openSelection_data();
    void openSelection();
    void openRequestFollowsTheSettings();
    void cancelKeepsThePreviousChoice();
    void save_data();
    void save();
    void realDialogKeepsTheFilterChoice();

private:
    QString path(const QString &name) const { return m_dir.path() + QLatin1Char('/') + name; }
    QTemporaryDir m_dir;
};

void TestFileDialogHelper::filterToQt_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("empty") << QString() << QStringList();
    QTest::newRow("open filter") << kOpenFilter
                                 << QStringList{
                                        QStringLiteral("All Images (*.jpg *.jpeg *.gif)"),
                                        QStringLiteral("Joint Photographic Experts Group  "
                                                       "<JPG,JPEG> (*.jpg *.jpeg)"),
                                        QStringLiteral("ICO Files  <ICO> (*.ICO)"),
                                        QStringLiteral("Windows Enhanced Meta File <EMF> (*.emf)"),
                                        QStringLiteral("All Files (*.*)")};
    QTest::newRow("description without pattern dropped")
        << QStringLiteral("A|*.a|B") << QStringList{QStringLiteral("A (*.a)")};
    QTest::newRow("entry with no pattern dropped")
        << QStringLiteral("A||B|*.b") << QStringList{QStringLiteral("B (*.b)")};
    QTest::newRow("blank description")
        << QStringLiteral("|*.x;*.y") << QStringList{QStringLiteral("*.x *.y (*.x *.y)")};
    QTest::newRow("blanks and empty patterns")
        << QStringLiteral("A| *.a ; *.b ;") << QStringList{QStringLiteral("A (*.a *.b)")};
    QTest::newRow("parentheses in the description")
        << QStringLiteral("Pictures (old)|*.p")
        << QStringList{QStringLiteral("Pictures [old] (*.p)")};
}

void TestFileDialogHelper::filterToQt()
{
    QFETCH(QString, filter);
    QFETCH(QStringList, expected);
    QCOMPARE(imaging::toNameFilters(filter), expected);
}

void TestFileDialogHelper::openSelection_data()
{
    QTest::addColumn<long>("flags");
    QTest::addColumn<QStringList>("answer");
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QString>("fileName");

    QTest::newRow("one file, multiple allowed")
        << kOpenFlags << QStringList{QStringLiteral("A/x.png")} << QStringList{"x.png"}
        << QStringLiteral("A/x.png");
    QTest::newRow("three files") << kOpenFlags
                                 << QStringList{QStringLiteral("A/x.png"),
                                                QStringLiteral("A/y.png"),
                                                QStringLiteral("A/z.png")}
                                 << QStringList{"x.png", "y.png", "z.png"}
                                 << QStringLiteral("A/x.png");
    QTest::newRow("single selection keeps the first")
        << long(imaging::FileDialogHelper::FileMustExist)
        << QStringList{QStringLiteral("A/x.png"), QStringLiteral("A/y.png")} << QStringList{"x.png"}
        << QStringLiteral("A/x.png");
    QTest::newRow("files from two folders")
        << kOpenFlags << QStringList{QStringLiteral("A/x.png"), QStringLiteral("B/w.png")}
        << QStringList{"x.png", "../B/w.png"} << QStringLiteral("A/x.png");
}

void TestFileDialogHelper::openSelection()
{
    QFETCH(long, flags);
    QFETCH(QStringList, answer);
    QFETCH(QStringList, titles);
    QFETCH(QString, fileName);

    ScriptedPrompts script;
    QStringList files;
    for (const QString &f : answer)
        files << path(f);
    script.fileAnswers << chosen(files);

    imaging::FileDialogHelper dialog;
    dialog.setFilter(kOpenFilter);
    dialog.setFlags(flags);
    QVERIFY(dialog.showOpen());
    QCOMPARE(dialog.fileCount(), titles.size());
    QCOMPARE(dialog.fileName(), path(fileName));
    QCOMPARE(dialog.folder(), path(QStringLiteral("A/")));
    // The viewer joins folder and name without a separator.
    for (int i = 0; i < titles.size(); ++i) {
        QCOMPARE(dialog.fileTitle(i), titles.at(i));
        QCOMPARE(QFileInfo(dialog.folder() + dialog.fileTitle(i)).absoluteFilePath(), files.at(i));
    }
    QCOMPARE(dialog.fileTitle(titles.size()), QString());
    QCOMPARE(dialog.fileNames(), files.mid(0, titles.size()));
}

void TestFileDialogHelper::openRequestFollowsTheSettings()
{
    ScriptedPrompts script;
    script.fileAnswers << chosen({path(QStringLiteral("a.ico"))}, 2);
    imaging::FileDialogHelper dialog;
    dialog.setFilter(kOpenFilter);
    dialog.setFilterIndex(2);
    dialog.setFlags(kOpenFlags);
    dialog.setInitialFolder(m_dir.path());
    dialog.setOption(1);
    QVERIFY(dialog.showOpen());
    QCOMPARE(script.count(QStringLiteral("file")), 1);
    const FileDialogRequest request = script.shown.last().fileRequest;
    QCOMPARE(request.mode, FileDialogRequest::Mode::OpenMultiple);
    QVERIFY(request.fileMustExist);
    QCOMPARE(request.folder, m_dir.path());
    QCOMPARE(request.title, QStringLiteral("Open"));
    QCOMPARE(request.nameFilters.size(), 5);
    QCOMPARE(request.filterIndex, 1);
    // The entry the user left selected comes back 1-based.
    QCOMPARE(dialog.filterIndex(), 3);

    // Without the multiple-selection flag a single file is asked for; the
    // title given is used; an index out of range shows the nearest entry.
    script.fileAnswers << chosen({path(QStringLiteral("b.png"))}, 4);
    dialog.setFlags(0);
    dialog.setTitle(QStringLiteral("Pick"));
    dialog.setFilterIndex(99);
    QVERIFY(dialog.showOpen());
    const FileDialogRequest second = script.shown.last().fileRequest;
    QCOMPARE(second.mode, FileDialogRequest::Mode::Open);
    QVERIFY(!second.fileMustExist);
    QCOMPARE(second.title, QStringLiteral("Pick"));
    QCOMPARE(second.filterIndex, 4);
    QCOMPARE(dialog.filterIndex(), 5);
}

void TestFileDialogHelper::cancelKeepsThePreviousChoice()
{
    ScriptedPrompts script;
    script.fileAnswers << chosen({path(QStringLiteral("A/x.png")), path(QStringLiteral("A/y.png"))},
                                 1);
    imaging::FileDialogHelper dialog;
    dialog.setFilter(kOpenFilter);
    dialog.setFlags(kOpenFlags);
    QVERIFY(dialog.showOpen());
    // No answer queued: the dialog is cancelled.
    QVERIFY(!dialog.showOpen());
    QVERIFY(!dialog.showSave());
    QCOMPARE(dialog.fileCount(), 2);
    QCOMPARE(dialog.fileName(), path(QStringLiteral("A/x.png")));
    QCOMPARE(dialog.filterIndex(), 2);
    // An accepted dialog without files counts as cancelled.
    FileDialogResult empty;
    empty.accepted = true;
    script.fileAnswers << empty;
    QVERIFY(!dialog.showOpen());
}

void TestFileDialogHelper::save_data()
{
    QTest::addColumn<long>("flags");
    QTest::addColumn<int>("presetIndex");
    QTest::addColumn<QString>("defaultExt");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("chosenFilter"); // 0-based, as the dialog reports it
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<int>("filterIndex");

    QTest::newRow("png preselected") << kSaveFlags << 2 << "png"
                                     << "copy.png" << 1 << true << "copy.png" << 2;
    QTest::newRow("typed without extension") << kSaveFlags << 2 << "png"
                                             << "copy" << 1 << true << "copy.png" << 2;
    QTest::newRow("other entry, typed name keeps its extension")
        << kSaveFlags << 2 << "png"
        << "copy.png" << 7 << true << "copy.png" << 8;
    QTest::newRow("default extension given with a dot") << kSaveFlags << 8 << ".bmp"
                                                        << "wall" << 7 << true << "wall.bmp" << 8;
    QTest::newRow("no overwrite prompt")
        << long(imaging::FileDialogHelper::HideReadOnly) << 1 << "jpg"
        << "a.jpg" << 0 << false << "a.jpg" << 1;
}

void TestFileDialogHelper::save()
{
    QFETCH(long, flags);
    QFETCH(int, presetIndex);
    QFETCH(QString, defaultExt);
    QFETCH(QString, typed);
    QFETCH(int, chosenFilter);
    QFETCH(bool, confirm);
    QFETCH(QString, fileName);
    QFETCH(int, filterIndex);

    ScriptedPrompts script;
    script.fileAnswers << chosen({path(typed)}, chosenFilter);
    imaging::FileDialogHelper dialog;
    dialog.setOption(0);
    dialog.setFilter(kSaveFilter);
    dialog.setFilterIndex(presetIndex);
    dialog.setDefaultExtension(defaultExt);
    dialog.setFlags(flags);
    dialog.setFileName(path(QStringLiteral("old.jpg")));
    QVERIFY(dialog.showSave());

    const FileDialogRequest request = script.shown.last().fileRequest;
    QCOMPARE(request.mode, FileDialogRequest::Mode::Save);
    QCOMPARE(request.confirmOverwrite, confirm);
    QVERIFY(!request.fileMustExist);
    QCOMPARE(request.title, QStringLiteral("Save As"));
    QCOMPARE(request.fileName, path(QStringLiteral("old.jpg")));
    QCOMPARE(request.filterIndex, presetIndex - 1);
    QCOMPARE(request.defaultSuffix, QString(defaultExt).remove(QLatin1Char('.')));
    QCOMPARE(request.nameFilters.size(), 10);
    QCOMPARE(dialog.fileName(), path(fileName));
    QCOMPARE(dialog.filterIndex(), filterIndex);
    QCOMPARE(dialog.fileCount(), 1);
}

void TestFileDialogHelper::realDialogKeepsTheFilterChoice()
{
    // The Qt dialog itself: descriptions with double blanks must still select
    // the entry asked for and report the one the user picked.
    QFile file(path(QStringLiteral("pick.ico")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    imaging::FileDialogHelper dialog;
    dialog.setFilter(kOpenFilter);
    dialog.setFilterIndex(2);
    dialog.setFlags(kOpenFlags);
    dialog.setInitialFolder(m_dir.path());

    QString shownFilter;
    QTimer::singleShot(0, this, [&] {
        auto *fileDialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!fileDialog)
            return;
        shownFilter = fileDialog->selectedNameFilter();
        fileDialog->selectNameFilter(fileDialog->nameFilters().at(2));
        fileDialog->selectFile(file.fileName());
        static_cast<QDialog *>(fileDialog)->accept();
    });
    // Should the dialog not be found, close it rather than hang.
    QTimer::singleShot(5000, this, [] {
        if (QWidget *modal = QApplication::activeModalWidget())
            modal->close();
    });
    QVERIFY(dialog.showOpen());
    QCOMPARE(shownFilter,
             QStringLiteral("Joint Photographic Experts Group <JPG,JPEG> (*.jpg *.jpeg)"));
    QCOMPARE(dialog.filterIndex(), 3);
    QCOMPARE(dialog.fileName(), file.fileName());
    QCOMPARE(dialog.fileCount(), 1);
}

PICTAVO_TEST_MAIN(TestFileDialogHelper)
#include "tst_filedialoghelper.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// The destination-folder dialog of Copy To and Move To.
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <functional>

#include "core/Twips.h"
#include "dialogs/DestinationDialog.h"
#include "dialogs/FolderTree.h"
#include "support/ScriptedPrompts.h"
#include "support/TestSupport.h"

using dialogs::DestinationDialog;

namespace {

// Shows the dialog and, once it is up, does what the user would; the dialog
// must be closed by then, or the test fails instead of hanging.
QString showAnd(DestinationDialog &d, int opType, const QString &source,
                const std::function<void()> &user)
{
    bool ran = false;
    QTimer::singleShot(0, &d, [&] {
        ran = true;
        QVERIFY(d.isVisible());
        user();
        if (d.isVisible()) {
            QTest::qFail("the dialog is still open", __FILE__, __LINE__);
            d.reject();
        }
    });
    const QString result = d.showFileForm(opType, source);
    if (!ran)
        qWarning("the dialog did not show");
    return result;
}

} // namespace

class TestDestinationDialog : public QObject
{
    Q_OBJECT

private slots:
    void layoutAndCaptions();
    void captionByOperation_data();
    void captionByOperation();
    void cancelThenOk();
    void okKeepsThePreviousDestination();
    void treeFillsTheDestination();
    void desktopRootFillsTheDesktopPath();
    void typedFolderThatDoesNotExist();
    void closeBoxIsCancel();
    void skinElements();
};

void TestDestinationDialog::layoutAndCaptions()
{
    DestinationDialog d;
    QCOMPARE(d.objectName(), QStringLiteral("destinationDialog"));
    QCOMPARE(d.windowTitle(), QStringLiteral("Caption will be set at run time!!"));
    QCOMPARE(d.size(), QSize(core::twipsToPixelsX(7710), core::twipsToPixelsY(5940)));
    QCOMPARE(d.findChild<QLabel *>(QStringLiteral("Label1"))->text(), QStringLiteral("Source"));
    QCOMPARE(d.findChild<QLabel *>(QStringLiteral("Label2"))->text(),
             QStringLiteral("Destination"));
    QCOMPARE(d.okButton()->text(), QStringLiteral("         &Ok"));
    QCOMPARE(d.cancelButton()->text(), QStringLiteral("         &Cancel"));
    QCOMPARE(d.okButton()->geometry(), QRect(275, 360, 101, 31));
    QCOMPARE(d.cancelButton()->geometry(), QRect(394, 359, 108, 31));
    QCOMPARE(d.folderTree()->geometry(), QRect(11, 85, 492, 261));
    QCOMPARE(d.destinationBox()->objectName(), QStringLiteral("txtDestination"));
    QCOMPARE(d.sourceBox()->objectName(), QStringLiteral("txtSource"));
    QVERIFY(!(d.windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(d.windowFlags() & Qt::WindowMaximizeButtonHint));
}

void TestDestinationDialog::captionByOperation_data()
{
    QTest::addColumn<int>("opType");
    QTest::addColumn<QString>("caption");
    QTest::newRow("copy") << 1 << "Copy To";
    QTest::newRow("move") << 4 << "Move To";
    QTest::newRow("other keeps the last") << 2 << "Move To";
}

void TestDestinationDialog::captionByOperation()
{
    QFETCH(int, opType);
    QFETCH(QString, caption);
    DestinationDialog d;
    showAnd(d, 4, QStringLiteral("/a/b.jpg"), [&] { d.cancelButton()->click(); });
    QString seen;
    showAnd(d, opType, QStringLiteral("/pictures/photo.jpg"), [&] {
        seen = d.windowTitle();
        QCOMPARE(d.sourceBox()->text(), QStringLiteral("/pictures/photo.jpg"));
        d.cancelButton()->click();
    });
    QCOMPARE(seen, caption);
}

void TestDestinationDialog::cancelThenOk()
{
    DestinationDialog d;
    QCOMPARE(showAnd(d, 1, QStringLiteral("/a.jpg"),
                     [&] {
                         d.destinationBox()->setText(QDir::tempPath());
                         d.cancelButton()->click();
                     }),
             QString());
    QVERIFY(d.cancelFlag());
    // The cancel flag is cleared at every showing.
    QCOMPARE(showAnd(d, 1, QStringLiteral("/a.jpg"), [&] { d.okButton()->click(); }),
             QDir::tempPath());
    QVERIFY(!d.cancelFlag());
}

void TestDestinationDialog::okKeepsThePreviousDestination()
{
    DestinationDialog d;
    QCOMPARE(showAnd(d, 1, QStringLiteral("/a.jpg"), [&] { d.okButton()->click(); }), QString());
    showAnd(d, 1, QStringLiteral("/a.jpg"), [&] {
        d.destinationBox()->setText(QDir::tempPath() + QLatin1Char('/'));
        d.okButton()->click();
    });
    QCOMPARE(showAnd(d, 4, QStringLiteral("/b.jpg"), [&] { d.okButton()->click(); }),
             QDir::tempPath() + QLatin1Char('/'));
}

void TestDestinationDialog::treeFillsTheDestination()
{
    QTemporaryDir dir;
    DestinationDialog d;
    const QString result = showAnd(d, 1, QStringLiteral("/a.jpg"), [&] {
        d.folderTree()->setPath(dir.path());
        emit d.folderTree()->folderSelected(d.folderTree()->path());
        QCOMPARE(d.destinationBox()->text(), dir.path() + QLatin1Char('/'));
        d.okButton()->click();
    });
    QCOMPARE(result, dir.path() + QLatin1Char('/'));
}

void TestDestinationDialog::desktopRootFillsTheDesktopPath()
{
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    QVERIFY(QDir().mkpath(desktop));
    DestinationDialog d;
    const QString result = showAnd(d, 1, QStringLiteral("/a.jpg"), [&] {
        d.folderTree()->desktopButton()->click();
        d.okButton()->click();
    });
    QCOMPARE(result, dialogs::FolderTree::desktopFolder() + QLatin1Char('/'));
}

void TestDestinationDialog::typedFolderThatDoesNotExist()
{
    testsupport::ScriptedPrompts prompts;
    QTemporaryDir dir;
    const QString missing = dir.path() + QStringLiteral("/nowhere");
    DestinationDialog d;
    const QString result = showAnd(d, 1, QStringLiteral("/a.jpg"), [&] {
        d.destinationBox()->setText(missing);
        d.okButton()->click();
        QVERIFY(d.isVisible()); // the user can mend the folder
        QCOMPARE(prompts.texts(),
                 QStringList{QStringLiteral("The folder %1 does not exist.").arg(missing)});
        d.destinationBox()->setText(dir.path());
        d.okButton()->click();
    });
    QCOMPARE(result, dir.path());
}

void TestDestinationDialog::closeBoxIsCancel()
{
    DestinationDialog d;
    const QString result = showAnd(d, 1, QStringLiteral("/a.jpg"), [&] {
        d.destinationBox()->setText(QDir::tempPath());
        d.close();
    });
    QCOMPARE(result, QString());
}

void TestDestinationDialog::skinElements()
{
    DestinationDialog d;
    QStringList applied;
    d.applySkin([&](QWidget *w, const QString &element) {
        applied << w->objectName() + QLatin1Char(':') + element;
    });
    QCOMPARE(applied,
             (QStringList{QStringLiteral("destinationDialog:smallform"),
                          QStringLiteral("cmdCancel:Button"), QStringLiteral("cmdOk:Button")}));
}

PICTAVO_TEST_MAIN(TestDestinationDialog)
#include "tst_destinationdialog.moc"

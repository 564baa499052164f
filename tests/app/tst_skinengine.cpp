// SPDX-License-Identifier: GPL-3.0-or-later
// The skin engine: reading skin files, rejecting damaged ones, and applying
// elements to windows.

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "app/SkinEngine.h"
#include "support/TestSupport.h"

using app::SkinEngine;

class tst_SkinEngine : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("elements"); // "Element=style sheet"

        QTest::newRow("two sections")
            << "[Window]\nQMainWindow { color: red; }\n[Toolbar]\nQToolBar { spacing: 2px; }\n"
            << QStringList{"Window=QMainWindow { color: red; }",
                           "Toolbar=QToolBar { spacing: 2px; }"};
        QTest::newRow("headings in any case, CRLF")
            << "[WINDOW]\r\nQWidget { }\r\n[smallForm]\r\nQDialog { }\r\n"
            << QStringList{"Window=QWidget { }", "smallform=QDialog { }"};
        QTest::newRow("comments and unknown sections")
            << "; a skin\n[Banner]\nQWidget { color: red; }\n[Label]\n; note\nQLabel { }\n"
            << QStringList{"Label=QLabel { }"};
        QTest::newRow("bracketed text inside a rule is no heading")
            << "[Button]\nQPushButton {\n[Window]\n}\n"
            << QStringList{"Button=QPushButton {\n[Window]\n}"};
        QTest::newRow("unclosed brace swallows the rest")
            << "[Window]\nQWidget { color: red;\n[Label]\nQLabel { }\n"
            << QStringList{};
        QTest::newRow("closing brace too many") << "[Window]\nQWidget { } }\n[Label]\nQLabel { }\n"
                                                << QStringList{"Label=QLabel { }"};
        QTest::newRow("braces in comments and strings")
            << "[Label]\n/* { */ QLabel { font-family: \"a}b\"; }\n"
            << QStringList{"Label=/* { */ QLabel { font-family: \"a}b\"; }"};
        QTest::newRow("empty section") << "[Window]\n\n[Label]\nQLabel { }\n"
                                       << QStringList{"Label=QLabel { }"};
        QTest::newRow("no sections") << "QWidget { color: red; }\n" << QStringList{};
        QTest::newRow("empty") << QString() << QStringList{};
    }

    void parse()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, elements);
        SkinEngine skin;
        QCOMPARE(skin.loadSkinText(text), !elements.isEmpty());
        QStringList got;
        for (const QString &e : skin.elements())
            got << e + '=' + skin.styleSheetOf(e);
        QCOMPARE(got, elements);
    }

    void loadFile_data()
    {
        QTest::addColumn<QByteArray>("content"); // "<dir>": a folder, "<none>": no file
        QTest::addColumn<bool>("loaded");
        QTest::newRow("good") << QByteArray("[Window]\nQWidget { }\n") << true;
        QTest::newRow("missing") << QByteArray("<none>") << false;
        QTest::newRow("folder") << QByteArray("<dir>") << false;
        QTest::newRow("NUL bytes") << QByteArray("[Window]\nQWidget { }\n\0\0", 23) << false;
        QTest::newRow("not UTF-8")
            << QByteArray("[Window]\nQWidget { color: \xff\xfe; }\n") << false;
        QTest::newRow("too large")
            << QByteArray("[Window]\n") + QByteArray(qsizetype(2) * 1024 * 1024, ' ') << false;
    }

    void loadFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, loaded);
        QTemporaryDir dir;
        const QString path = dir.path() + "/PVXMain.skn";
        if (content == "<dir>") {
            QVERIFY(QDir().mkpath(path));
        } else if (content != "<none>") {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        SkinEngine skin;
        skin.loadSkinText("[Label]\nQLabel { }\n"); // a failed load forgets the old skin
        QCOMPARE(skin.loadSkin(path), loaded);
        QCOMPARE(skin.isLoaded(), loaded);
    }

    void apply()
    {
        SkinEngine skin;
        QVERIFY(skin.loadSkinText("[Window]\nQWidget { background: #eeeeee; }\n"
                                  "[Label]\nQLabel { color: #333333; }\n"));
        QWidget window;
        auto *label = new QLabel(&window);
        auto *other = new QLabel(&window);
        other->setStyleSheet("QLabel { color: red; }");
        QSignalSpy spy(&skin, &SkinEngine::applied);

        skin.applySkin(&window);
        skin.applySkinByName(label, "label");
        skin.applySkinByName(other, "Button"); // no such element: left alone
        skin.applySkinByName(nullptr, "Label");

        QCOMPARE(window.styleSheet(), QStringLiteral("QWidget { background: #eeeeee; }"));
        QCOMPARE(label->styleSheet(), QStringLiteral("QLabel { color: #333333; }"));
        QCOMPARE(other->styleSheet(), QStringLiteral("QLabel { color: red; }"));
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(0).at(1).toString(), QStringLiteral("Window"));
        QCOMPARE(spy.at(1).at(0).value<QWidget *>(), label);
    }
};

PICTAVO_TEST_MAIN(tst_SkinEngine)
#include "tst_skinengine.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// The Debian package, made from the built tree the way make package makes it
// from a Release build, then unpacked: its files lie where Debian, the
// desktop and the program itself look for them, with sound owners and modes;
// the manual pages, desktop entry and AppStream data pass their validators
// and agree with the programs they describe.

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include "shell/Associations.h"
#include "support/TestSupport.h"

namespace {

struct Run
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

Run run(const QString &program, const QStringList &arguments, int timeoutMs = 120000)
{
    QProcess process;
    process.start(program, arguments);
    Run r;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        r.err = "did not finish: " + program.toUtf8();
        return r;
    }
    r.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    r.out = process.readAllStandardOutput();
    r.err = process.readAllStandardError();
    return r;
}

// A tool the check needs; scripts/install-deps installs each of them.
QString tool(const char *name)
{
    return QStandardPaths::findExecutable(QLatin1String(name));
}

QString collapsed(QString text)
{
    return text.replace(QRegularExpression(QStringLiteral("\\s+")), QStringLiteral(" ")).trimmed();
}

// One line of "dpkg-deb --contents": mode, owner, path.
struct Entry
{
    QString mode; // as ls shows it: "-rwxr-xr-x", "drwxr-xr-x"
    QString owner;
    QString path; // without the leading "./"
};

} // namespace

class TestPackage : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_deb;
    QString m_root; // the unpacked package
    QMap<QString, QString> m_control;
    QList<Entry> m_entries;

    QString unpacked(const QString &path) const { return m_root + QLatin1Char('/') + path; }

    const Entry *entry(const QString &path) const
    {
        for (const Entry &e : m_entries) {
            if (e.path == path)
                return &e;
        }
        return nullptr;
    }

    QString renderedManPage(const QString &page)
    {
        const Run text = run(tool("gzip"), {QStringLiteral("-dc"), unpacked(page)});
        if (text.status != 0)
            return {};
        QProcess groff;
        groff.start(tool("groff"), {QStringLiteral("-man"), QStringLiteral("-Tutf8"),
                                    QStringLiteral("-P"), QStringLiteral("-cbou")});
        groff.write(text.out);
        groff.closeWriteChannel();
        if (!groff.waitForFinished(30000))
            return {};
        return QString::fromUtf8(groff.readAllStandardOutput());
    }

    QSet<QString> desktopMimeTypes() const
    {
        QFile desktop(unpacked(QStringLiteral("usr/share/applications/pictavo.desktop")));
        QSet<QString> types;
        if (!desktop.open(QIODevice::ReadOnly | QIODevice::Text))
            return types;
        for (const QByteArray &line : desktop.readAll().split('\n')) {
            if (line.startsWith("MimeType=")) {
                for (const QByteArray &type : line.mid(9).split(';')) {
                    if (!type.isEmpty())
                        types << QString::fromUtf8(type);
                }
            }
        }
        return types;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        for (const char *name : {"dpkg-deb", "dpkg-shlibdeps", "file", "gzip", "groff",
                                 "appstreamcli", "desktop-file-validate"}) {
            QVERIFY2(!tool(name).isEmpty(),
                     qPrintable(QStringLiteral("%1 is missing: run scripts/install-deps")
                                    .arg(QLatin1String(name))));
        }

        // Package the tree as it is built; packing it fast is enough here.
        const QString out = m_dir.filePath(QStringLiteral("out"));
        const Run cpack =
            run(QStringLiteral(PICTAVO_CPACK_COMMAND),
                {QStringLiteral("--config"),
                 qEnvironmentVariable("PICTAVO_BINARY_DIR") + QStringLiteral("/CPackConfig.cmake"),
                 QStringLiteral("-B"), out, QStringLiteral("-D"),
                 QStringLiteral("CPACK_DEBIAN_COMPRESSION_TYPE=gzip")},
                240000);
        QVERIFY2(cpack.status == 0, (cpack.out + cpack.err).constData());
        const QStringList debs =
            QDir(out).entryList({QStringLiteral("*.deb")}, QDir::Files, QDir::Name);
        QCOMPARE(debs.size(), 1);
        m_deb = out + QLatin1Char('/') + debs.first();

        m_root = m_dir.filePath(QStringLiteral("root"));
        const Run extract = run(tool("dpkg-deb"), {QStringLiteral("-x"), m_deb, m_root});
        QVERIFY2(extract.status == 0, extract.err.constData());

        const Run fields = run(tool("dpkg-deb"), {QStringLiteral("-f"), m_deb});
        QVERIFY2(fields.status == 0, fields.err.constData());
        QString key;
        for (const QString &line : QString::fromUtf8(fields.out).split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1Char(' ')) && !key.isEmpty()) {
                m_control[key] += QLatin1Char('\n') + line;
            } else if (const qsizetype colon = line.indexOf(QLatin1Char(':')); colon > 0) {
                key = line.left(colon);
                m_control[key] = line.mid(colon + 1).trimmed();
            }
        }

        const Run contents = run(tool("dpkg-deb"), {QStringLiteral("--contents"), m_deb});
        QVERIFY2(contents.status == 0, contents.err.constData());
        for (const QString &line : QString::fromUtf8(contents.out).split(QLatin1Char('\n'))) {
            const QStringList parts = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            if (parts.size() < 6)
                continue;
            QString path = parts.mid(5).join(QLatin1Char(' '));
            if (path.startsWith(QLatin1String("./")))
                path = path.mid(2);
            if (path.endsWith(QLatin1Char('/')))
                path.chop(1);
            if (!path.isEmpty())
                m_entries.append({parts.at(0), parts.at(1), path});
        }
        QVERIFY(!m_entries.isEmpty());
    }

    void fileName()
    {
        const Run arch = run(tool("dpkg"), {QStringLiteral("--print-architecture")});
        QCOMPARE(arch.status, 0);
        QCOMPARE(QFileInfo(m_deb).fileName(),
                 QStringLiteral("pictavo_%1_%2.deb")
                     .arg(QStringLiteral(PICTAVO_VERSION), QString::fromUtf8(arch.out.trimmed())));
    }

    void control_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("name") << "Package"
                              << "^pictavo$";
        QTest::newRow("version") << "Version"
                                 << "^" PICTAVO_VERSION "$";
        QTest::newRow("section") << "Section"
                                 << "^graphics$";
        QTest::newRow("maintainer") << "Maintainer"
                                    << "^[^<]+ <[^@ ]+@[^> ]+>$";
        // Found by dpkg-shlibdeps in the programs, with versions.
        QTest::newRow("Qt from the libraries") << "Depends"
                                               << "libqt6gui6 \\(>= [^)]+\\)";
        QTest::newRow("Magick from the libraries") << "Depends"
                                                   << "(^|, )libmagick\\+\\+-6\\.q16-\\d+(,| )";
        // Plugins Qt loads at run time, which no library names.
        QTest::newRow("platform plugins") << "Depends"
                                          << "(^|, )qt6-qpa-plugins(,|$)";
        QTest::newRow("format plugins") << "Depends"
                                        << "(^|, )qt6-image-formats-plugins(,|$)";
        // A synopsis in lower case without a full stop, then paragraphs.
        QTest::newRow("description")
            << "Description"
            << "^[a-z][^\\n]{10,78}[^.\\n]\\n( [^\\n]{1,79}\\n)+ [^\\n]{1,79}$";
    }

    void control()
    {
        QFETCH(QString, field);
        QFETCH(QString, pattern);
        const QString value = m_control.value(field);
        QVERIFY2(QRegularExpression(pattern).match(value).hasMatch(),
                 qPrintable(field + QStringLiteral(": ") + value));
    }

    // Helper and data stay out of the PATH and every file is owned by root,
    // with no write access for others and nothing outside /usr.
    void everyEntryIsSound()
    {
        QStringList onPath;
        for (const Entry &e : m_entries) {
            QVERIFY2(e.owner == QLatin1String("root/root"), qPrintable(e.path + ' ' + e.owner));
            QVERIFY2(e.path == QLatin1String("usr") || e.path.startsWith(QLatin1String("usr/")),
                     qPrintable(e.path));
            QVERIFY2(!e.path.startsWith(QLatin1String("usr/local")), qPrintable(e.path));
            const bool program = e.path.startsWith(QLatin1String("usr/bin/")) ||
                                 e.path.startsWith(QLatin1String("usr/libexec/pictavo/"));
            const char *expected = e.mode.startsWith(QLatin1Char('d')) ? "drwxr-xr-x"
                                   : program                           ? "-rwxr-xr-x"
                                                                       : "-rw-r--r--";
            QVERIFY2(e.mode == QLatin1String(expected), qPrintable(e.path + ' ' + e.mode));
            if (e.path.startsWith(QLatin1String("usr/bin/")))
                onPath << e.path.mid(8);
        }
        onPath.sort();
        QCOMPARE(onPath,
                 QStringList({QStringLiteral("pictavo"), QStringLiteral("pictavo-convert")}));
    }

    void files_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("browser and viewer") << "usr/bin/pictavo";
        QTest::newRow("command line") << "usr/bin/pictavo-convert";
        QTest::newRow("decoding helper") << "usr/libexec/pictavo/pictavo-magick";
        QTest::newRow("thumbnail helper") << "usr/libexec/pictavo/pictavo-thumbnailer";
        QTest::newRow("skin") << "usr/share/pictavo/PVXMain.skn";
        QTest::newRow("splash") << "usr/share/pictavo/viewer.spl";
        QTest::newRow("help manual") << "usr/share/pictavo/help/index.html";
        QTest::newRow("file-type icon") << "usr/share/pictavo/icons/jpg.ico";
        QTest::newRow("desktop entry") << "usr/share/applications/pictavo.desktop";
        QTest::newRow("metainfo") << "usr/share/metainfo/org.pictavo.Pictavo.metainfo.xml";
        QTest::newRow("manual page") << "usr/share/man/man1/pictavo.1.gz";
        QTest::newRow("convert manual page") << "usr/share/man/man1/pictavo-convert.1.gz";
        QTest::newRow("copyright") << "usr/share/doc/pictavo/copyright";
        QTest::newRow("change log") << "usr/share/doc/pictavo/changelog.gz";
        for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
            const QString path =
                QStringLiteral("usr/share/icons/hicolor/%1x%1/apps/pictavo.png").arg(size);
            QTest::newRow(qPrintable(QStringLiteral("icon %1").arg(size))) << path;
        }
    }

    void files()
    {
        QFETCH(QString, path);
        QVERIFY2(entry(path), qPrintable(path));
        QVERIFY(QFileInfo(unpacked(path)).isFile());
        const QRegularExpression size(QStringLiteral("/(\\d+)x\\1/"));
        if (const auto match = size.match(path); match.hasMatch()) {
            const QImage icon(unpacked(path));
            const int side = match.captured(1).toInt();
            QCOMPARE(icon.size(), QSize(side, side));
        }
    }

    // The unpacked program finds its helper in the packaged layout: writing
    // a PSD takes it.
    void programFindsItsHelper()
    {
        const QString png = m_dir.filePath(QStringLiteral("in.png"));
        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        QVERIFY(image.save(png));
        const QString psd = m_dir.filePath(QStringLiteral("out.psd"));
        const QString program = unpacked(QStringLiteral("usr/bin/pictavo-convert"));
        const Run convert =
            run(program, {QStringLiteral("convert"), png, psd, QStringLiteral("9")});
        QVERIFY2(convert.status == 0, convert.err.constData());
        const Run info = run(program, {QStringLiteral("info"), psd});
        QVERIFY2(info.status == 0, info.err.constData());
        QVERIFY2(info.out.startsWith("40 30 "), info.out.constData());
    }

    void manPages_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("title");
        QTest::newRow("pictavo") << "usr/share/man/man1/pictavo.1.gz"
                                 << "PICTAVO(1)";
        QTest::newRow("pictavo-convert") << "usr/share/man/man1/pictavo-convert.1.gz"
                                         << "PICTAVO-CONVERT(1)";
    }

    // Compressed, and formatted by groff without a warning.
    void manPages()
    {
        QFETCH(QString, page);
        QFETCH(QString, title);
        QFile file(unpacked(page));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.read(2), QByteArray("\x1f\x8b"));
        const Run source = run(tool("gzip"), {QStringLiteral("-dc"), file.fileName()});
        QCOMPARE(source.status, 0);

        QProcess groff;
        groff.start(tool("groff"), {QStringLiteral("-man"), QStringLiteral("-ww"),
                                    QStringLiteral("-z"), QStringLiteral("-Tutf8")});
        groff.write(source.out);
        groff.closeWriteChannel();
        QVERIFY(groff.waitForFinished(30000));
        QCOMPARE(groff.exitCode(), 0);
        QCOMPARE(groff.readAllStandardError(), QByteArray());

        const QString text = renderedManPage(page);
        QVERIFY2(text.startsWith(title), qPrintable(text.left(80)));
        QVERIFY2(text.contains(QStringLiteral("Pictavo " PICTAVO_VERSION)),
                 "the page names another version than the package");
    }

    // Every command pictavo-convert's usage line names is in the page.
    void convertManPageHasEveryCommand()
    {
        const Run usage = run(unpacked(QStringLiteral("usr/bin/pictavo-convert")), {});
        QCOMPARE(usage.status, 1);
        const QString line = QString::fromUtf8(usage.err).trimmed();
        QVERIFY2(line.startsWith(QLatin1String("Usage:")), usage.err.constData());
        const QString page =
            collapsed(renderedManPage(QStringLiteral("usr/share/man/man1/pictavo-convert.1.gz")));
        const QStringList commands = line.mid(6).split(QLatin1Char(';'));
        QVERIFY(commands.size() >= 3);
        for (const QString &command : commands)
            QVERIFY2(page.contains(collapsed(command)), qPrintable(command));
    }

    void desktopEntryValidates()
    {
        const QString desktop = unpacked(QStringLiteral("usr/share/applications/pictavo.desktop"));
        const Run check = run(tool("desktop-file-validate"), {desktop});
        QVERIFY2(check.status == 0 && check.out.isEmpty(), (check.out + check.err).constData());
    }

    void metainfoValidates()
    {
        const Run check =
            run(tool("appstreamcli"),
                {QStringLiteral("validate"), QStringLiteral("--no-net"), QStringLiteral("--strict"),
                 QStringLiteral("--no-color"),
                 unpacked(QStringLiteral("usr/share/metainfo/org.pictavo.Pictavo.metainfo.xml"))});
        QVERIFY2(check.status == 0, (check.out + check.err).constData());
    }

    // What a software centre shows agrees with the package: the menu entry
    // it launches, the programs, the types the entry opens and the version.
    void metainfoMatchesPackage()
    {
        QFile file(unpacked(QStringLiteral("usr/share/metainfo/org.pictavo.Pictavo.metainfo.xml")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&file);
        QStringList launchables;
        QStringList binaries;
        QSet<QString> mediaTypes;
        QStringList releases;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            const auto name = xml.name();
            if (name == QLatin1String("release"))
                releases << xml.attributes().value(QLatin1String("version")).toString();
            else if (name == QLatin1String("launchable"))
                launchables << xml.readElementText();
            else if (name == QLatin1String("binary"))
                binaries << xml.readElementText();
            else if (name == QLatin1String("mediatype"))
                mediaTypes << xml.readElementText();
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));

        QCOMPARE(launchables, QStringList(QStringLiteral("pictavo.desktop")));
        for (const QString &binary : binaries)
            QVERIFY2(entry(QStringLiteral("usr/bin/") + binary), qPrintable(binary));
        QVERIFY(!releases.isEmpty());
        QCOMPARE(releases.first(), QStringLiteral(PICTAVO_VERSION));

        const QSet<QString> opened = desktopMimeTypes();
        QVERIFY(opened.contains(QStringLiteral("image/jpeg")));
        QCOMPARE(mediaTypes, opened);
    }

    // The entry Pictavo writes for a user when it binds its types takes the
    // place of the packaged one, so both open the same types.
    void desktopEntryMatchesTheBoundTypes()
    {
        const QStringList bound = shell::associations::desktopMimeTypes();
        QCOMPARE(desktopMimeTypes(), QSet<QString>(bound.cbegin(), bound.cend()));
    }

    // The change log is compressed and begins with this version's notes.
    void changelog()
    {
        const Run text =
            run(tool("gzip"), {QStringLiteral("-dc"),
                               unpacked(QStringLiteral("usr/share/doc/pictavo/changelog.gz"))});
        QVERIFY2(text.status == 0, text.err.constData());
        QVERIFY2(text.out.startsWith("Version " PICTAVO_VERSION "\n"),
                 text.out.left(80).constData());
    }

    void copyright()
    {
        QFile file(unpacked(QStringLiteral("usr/share/doc/pictavo/copyright")));
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        const QString text = QString::fromUtf8(file.readAll());
        QVERIFY(
            text.startsWith(QLatin1String("Format: https://www.debian.org/doc/packaging-manuals/"
                                          "copyright-format/1.0/\n")));
        QVERIFY(text.contains(QLatin1String("\nLicense: GPL-3.0-or-later\n")));
        QVERIFY(text.contains(QLatin1String("/usr/share/common-licenses/GPL-3")));
    }
};

PICTAVO_TEST_MAIN(TestPackage)
#include "tst_package.moc"

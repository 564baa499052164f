// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QImageReader>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <sys/stat.h>
#include <utime.h>

#include "explorer/ThumbnailCache.h"
#include "explorer/Thumbnailer.h"
#include "support/ImageFixtures.h"
#include "support/TestSupport.h"

using explorer::ThumbnailCache;
using explorer::Thumbnailer;

namespace {

// A thumbnailer over a cache in `root` that counts how often it decodes.
struct Counting
{
    explicit Counting(const QString &root)
        : cache(std::make_shared<const ThumbnailCache>(root)),
          thumbnailer(cache, [this](const QString &path) {
              ++decodes;
              return explorer::makePicture(path);
          })
    {
    }
    std::shared_ptr<const ThumbnailCache> cache;
    std::atomic_int decodes{0};
    Thumbnailer thumbnailer;
};

void setMTime(const QString &path, qint64 seconds)
{
    utimbuf times{seconds, seconds};
    QCOMPARE(::utime(QFile::encodeName(path).constData(), &times), 0);
}

QString entryPath(const QString &root, const char *size, const QString &file)
{
    return root + "/" + size + "/" + ThumbnailCache::entryName(ThumbnailCache::stampOf(file).uri);
}

// An entry as another program of the desktop writes it: only the keys the
// standard requires, in the size folder it chose.
void writeForeignEntry(const QString &root, const char *size, const QString &file,
                       const QImage &picture, const QByteArray &uri, qint64 mtime)
{
    QDir().mkpath(root + "/" + size);
    QImage entry = picture;
    entry.setText("Thumb::URI", QString::fromUtf8(uri));
    entry.setText("Thumb::MTime", QString::number(mtime));
    QVERIFY(entry.save(entryPath(root, size, file), "PNG"));
}

QMap<QString, QString> pngKeys(const QString &path)
{
    QImageReader reader(path, "png");
    QMap<QString, QString> keys;
    const QImage image = reader.read();
    for (const QString &key : image.textKeys())
        keys.insert(key, image.text(key));
    return keys;
}

} // namespace

class TestThumbnailCache : public QObject
{
    Q_OBJECT

private slots:
    void defaultRootFollowsXdgCacheHome();
    void fileUri_data();
    void fileUri();
    void writtenEntryFollowsTheStandard();
    void lookup_data();
    void lookup();
    void failuresAreRecordedUntilTheFileChanges();
    void clearingFailuresKeepsOtherEntries();
    void filesInsideTheCacheGetNoEntries();
    void unwritableCacheStillGivesThumbnails();
    void anotherReaderSeesTheKeys();
};

void TestThumbnailCache::defaultRootFollowsXdgCacheHome()
{
    const QByteArray saved = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", "/some/cache");
    QCOMPARE(ThumbnailCache::defaultRoot(), QString("/some/cache/thumbnails"));
    // A relative value does not count.
    qputenv("XDG_CACHE_HOME", "relative/cache");
    QCOMPARE(ThumbnailCache::defaultRoot(), QDir::homePath() + "/.cache/thumbnails");
    qputenv("XDG_CACHE_HOME", saved);
}

void TestThumbnailCache::fileUri_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("uri");
    QTest::newRow("plain") << "/home/ann/a.jpg" << QByteArray("file:///home/ann/a.jpg");
    QTest::newRow("blank") << "/p/my photo.jpg" << QByteArray("file:///p/my%20photo.jpg");
    QTest::newRow("kept marks") << "/p/a-b_c.d~e!$&'()*+,=:@.png"
                                << QByteArray("file:///p/a-b_c.d~e!$&'()*+,=:@.png");
    QTest::newRow("escaped marks") << "/p/#%?;[]{}\"<>^`|\\.png"
                                   << QByteArray("file:///p/%23%25%3F%3B%5B%5D%7B%7D%22%3C%3E%5E%60"
                                                 "%7C%5C.png");
    QTest::newRow("utf-8 bytes") << QString::fromUtf8("/p/caf\xc3\xa9.png")
                                 << QByteArray("file:///p/caf%C3%A9.png");
    QTest::newRow("doubled slash") << "/p//q/./a.png" << QByteArray("file:///p/q/a.png");
}

void TestThumbnailCache::fileUri()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, uri);
    QCOMPARE(ThumbnailCache::fileUri(path), uri);
    QCOMPARE(ThumbnailCache::entryName(uri),
             QString(QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex() + ".png"));
}

void TestThumbnailCache::writtenEntryFollowsTheStandard()
{
    QTemporaryDir files, cacheHome;
    const QString root = cacheHome.path() + "/thumbnails";
    const QString photo = fixtures::writeImage(files.path(), "wide photo.jpg", 1200, 800, "JPG");
    setMTime(photo, 1700000000);
    Counting c(root);
    const imaging::ThumbnailResult r = c.thumbnailer.thumbnail(photo);
    QVERIFY(r.ok());
    QCOMPARE(r.picture.size(), QSize(140, 93));

    const QString entry = entryPath(root, "large", photo);
    QVERIFY2(QFileInfo::exists(entry), qPrintable(entry));
    QCOMPARE(QImageReader(entry).size(), QSize(256, 170));
    const QMap<QString, QString> keys = pngKeys(entry);
    QCOMPARE(keys.value("Thumb::URI"), QString::fromUtf8(ThumbnailCache::fileUri(photo)));
    QVERIFY(keys.value("Thumb::URI").endsWith("/wide%20photo.jpg"));
    QCOMPARE(keys.value("Thumb::MTime"), QString("1700000000"));
    QCOMPARE(keys.value("Thumb::Size"), QString::number(QFileInfo(photo).size()));
    QCOMPARE(keys.value("Thumb::Image::Width"), QString("1200"));
    QCOMPARE(keys.value("Thumb::Image::Height"), QString("800"));
    QCOMPARE(keys.value("Thumb::Mimetype"), QString("image/jpeg"));
    // Readable by its owner only, and nothing left behind under another name.
    struct stat st = {};
    QCOMPARE(::stat(QFile::encodeName(entry).constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, 0600u);
    QCOMPARE(QDir(root + "/large").entryList(QDir::Files | QDir::Hidden).size(), 1);
    QCOMPARE(::stat(QFile::encodeName(root + "/large").constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, 0700u);
}

void TestThumbnailCache::lookup_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("decodes");
    // Pictavo's own entry, and entries other programs wrote in the sizes
    // they chose, are used as they are.
    QTest::newRow("own entry") << "own" << false;
    QTest::newRow("another program's large") << "large" << false;
    QTest::newRow("another program's normal") << "normal" << false;
    QTest::newRow("another program's x-large") << "x-large" << false;
    // Anything that does not match the file is a miss.
    QTest::newRow("file changed since") << "stale" << true;
    QTest::newRow("entry of another file") << "foreign uri" << true;
    QTest::newRow("size differs") << "size" << true;
    QTest::newRow("no modification time") << "no mtime" << true;
    QTest::newRow("damaged png") << "damaged" << true;
    QTest::newRow("empty file") << "empty" << true;
    QTest::newRow("not a png") << "jpeg" << true;
}

void TestThumbnailCache::lookup()
{
    QFETCH(QString, entry);
    QFETCH(bool, decodes);
    QTemporaryDir files, cacheHome;
    const QString root = cacheHome.path() + "/thumbnails";
    const QString photo = fixtures::writeImage(files.path(), "a.png", 1000, 500);
    setMTime(photo, 1600000000);
    const QByteArray uri = ThumbnailCache::fileUri(photo);
    // Red, unlike the photo, so a picture from the cache shows where it came from.
    const QImage red = fixtures::picture(256, 128, Qt::red);
    const QString large = entryPath(root, "large", photo);

    if (entry == "own") {
        Counting first(root);
        QVERIFY(first.thumbnailer.thumbnail(photo).ok());
        QCOMPARE(first.decodes.load(), 1);
    } else if (entry == "large" || entry == "normal" || entry == "x-large") {
        writeForeignEntry(root, entry.toLatin1().constData(), photo,
                          entry == "normal" ? red.scaled(128, 64) : red, uri, 1600000000);
    } else if (entry == "stale") {
        writeForeignEntry(root, "large", photo, red, uri, 1600000000);
        setMTime(photo, 1600000001);
    } else if (entry == "foreign uri") {
        writeForeignEntry(root, "large", photo, red, uri + "x", 1600000000);
    } else if (entry == "size") {
        writeForeignEntry(root, "large", photo, red, uri, 1600000000);
        QImage withSize(large);
        withSize.setText("Thumb::Size", "12");
        QVERIFY(withSize.save(large, "PNG"));
    } else if (entry == "no mtime") {
        writeForeignEntry(root, "large", photo, red, uri, 1600000000);
        QImage without = red;
        without.setText("Thumb::URI", QString::fromUtf8(uri));
        QVERIFY(without.save(large, "PNG"));
    } else if (entry == "damaged") {
        writeForeignEntry(root, "large", photo, red, uri, 1600000000);
        QFile f(large);
        QVERIFY(f.open(QIODevice::ReadWrite));
        const QByteArray bytes = f.readAll();
        f.resize(0);
        f.seek(0);
        f.write(bytes.left(bytes.size() / 2));
    } else if (entry == "empty") {
        QDir().mkpath(root + "/large");
        fixtures::writeBytes(root + "/large", QFileInfo(large).fileName(), {});
    } else if (entry == "jpeg") {
        QDir().mkpath(root + "/large");
        QVERIFY(red.save(large, "JPG"));
    }

    Counting c(root);
    const imaging::ThumbnailResult r = c.thumbnailer.thumbnail(photo);
    QCOMPARE(c.decodes.load(), decodes ? 1 : 0);
    QVERIFY(r.ok());
    // 1000 x 500 is a wide strip: 140 x 70 on a white square, from the
    // cache as from the picture.
    QCOMPARE(r.picture.size(), QSize(140, 140));
    QCOMPARE(QColor(r.picture.pixel(70, 10)), QColor(Qt::white));
    const QColor middle = r.picture.pixel(70, 70);
    const bool fromForeign = !decodes && entry != "own";
    QCOMPARE(middle.red() > 100 && middle.blue() < 60, fromForeign);
    // A miss is mended: the next look finds Pictavo's own entry.
    if (decodes) {
        Counting again(root);
        QVERIFY(again.thumbnailer.thumbnail(photo).ok());
        QCOMPARE(again.decodes.load(), 0);
    }
}

void TestThumbnailCache::failuresAreRecordedUntilTheFileChanges()
{
    QTemporaryDir files, cacheHome;
    const QString root = cacheHome.path() + "/thumbnails";
    const QString bad = fixtures::writeDamagedJpeg(files.path(), "bad.jpg");
    setMTime(bad, 1600000000);
    Counting c(root);
    const imaging::ThumbnailResult first = c.thumbnailer.thumbnail(bad);
    QVERIFY(!first.ok());
    QVERIFY(first.error.contains("bad.jpg"));
    QCOMPARE(c.decodes.load(), 1);
    const QString record =
        c.cache->failFolder() + "/" + ThumbnailCache::entryName(ThumbnailCache::fileUri(bad));
    QVERIFY(c.cache->failFolder().endsWith("/fail/pictavo-" PICTAVO_VERSION));
    QVERIFY(QFileInfo::exists(record));
    QCOMPARE(pngKeys(record).value("Thumb::MTime"), QString("1600000000"));
    QVERIFY(!QFileInfo::exists(entryPath(root, "large", bad)));

    // The next visit gives the same answer without reading the file.
    const imaging::ThumbnailResult second = c.thumbnailer.thumbnail(bad);
    QCOMPARE(second.error, first.error);
    QCOMPARE(c.decodes.load(), 1);

    // Mended (here: replaced by a good picture): made and shown again.
    fixtures::picture(300, 200).save(bad, "JPG");
    setMTime(bad, 1600000100);
    QVERIFY(c.thumbnailer.thumbnail(bad).ok());
    QCOMPARE(c.decodes.load(), 2);
}

void TestThumbnailCache::clearingFailuresKeepsOtherEntries()
{
    QTemporaryDir files, cacheHome;
    const QString root = cacheHome.path() + "/thumbnails";
    const QString bad1 = fixtures::writeDamagedJpeg(files.path(), "1.jpg");
    const QString bad2 = fixtures::writeBytes(files.path(), "2.png", "not a picture");
    const QString good = fixtures::writeImage(files.path(), "3.png", 40, 30);
    Counting c(root);
    c.thumbnailer.thumbnail(bad1);
    c.thumbnailer.thumbnail(bad2);
    c.thumbnailer.thumbnail(good);
    // Another program's failure record and thumbnails are its own business.
    QDir().mkpath(root + "/fail/gnome-thumbnail-factory");
    const QString theirs =
        fixtures::writeBytes(root + "/fail/gnome-thumbnail-factory", "abc.png", "x");

    QCOMPARE(c.cache->clearFailures(), 2);
    QVERIFY(QDir(c.cache->failFolder()).entryList(QDir::Files).isEmpty());
    QVERIFY(QFileInfo::exists(theirs));
    QVERIFY(QFileInfo::exists(entryPath(root, "large", good)));
    // Cleared files are tried again.
    QCOMPARE(c.decodes.load(), 3);
    c.thumbnailer.thumbnail(bad1);
    QCOMPARE(c.decodes.load(), 4);
    QCOMPARE(c.cache->clearFailures(), 1);
}

void TestThumbnailCache::filesInsideTheCacheGetNoEntries()
{
    QTemporaryDir cacheHome;
    const QString root = cacheHome.path() + "/thumbnails";
    QDir().mkpath(root + "/large");
    // A picture inside the cache, looked at through a path that is not
    // clean: no thumbnail of a thumbnail, and no failure record either.
    const QString inside = fixtures::writeImage(root + "/large", "x.png", 200, 100);
    const QString bad = fixtures::writeBytes(root + "/large", "y.png", "junk");
    Counting c(cacheHome.path() + "/./thumbnails/");
    QVERIFY(c.cache->holds(root + "/large/../large/x.png"));
    QVERIFY(!c.cache->holds(cacheHome.path() + "/thumbnails-other/x.png"));
    QVERIFY(c.thumbnailer.thumbnail(root + "/large/../large/x.png").ok());
    QVERIFY(!c.thumbnailer.thumbnail(bad).ok());
    QCOMPARE(c.decodes.load(), 2);
    QCOMPARE(QDir(root + "/large").entryList(QDir::Files).size(), 2);
    QVERIFY(!QFileInfo::exists(root + "/fail"));
}

void TestThumbnailCache::unwritableCacheStillGivesThumbnails()
{
    QTemporaryDir files, cacheHome;
    // A file where the cache's folder should be: nobody can write there,
    // not even the superuser.
    fixtures::writeBytes(cacheHome.path(), "thumbnails", "in the way");
    const QString root = cacheHome.path() + "/thumbnails";
    const QString photo = fixtures::writeImage(files.path(), "a.png", 300, 200);
    Counting c(root);
    QVERIFY(c.thumbnailer.thumbnail(photo).ok());
    QVERIFY(!c.thumbnailer.thumbnail(fixtures::writeBytes(files.path(), "b.png", "x")).ok());
    QVERIFY(c.thumbnailer.thumbnail(photo).ok());
    QCOMPARE(c.decodes.load(), 3);
    QVERIFY(QFileInfo(root).isFile());
}

void TestThumbnailCache::anotherReaderSeesTheKeys()
{
    const QString identify = QStandardPaths::findExecutable("identify");
    if (identify.isEmpty())
        QSKIP("ImageMagick's identify is not installed");
    QTemporaryDir files, cacheHome;
    const QString root = cacheHome.path() + "/thumbnails";
    const QString photo = fixtures::writeImage(files.path(), "a b.png", 600, 400);
    setMTime(photo, 1650000000);
    Counting c(root);
    QVERIFY(c.thumbnailer.thumbnail(photo).ok());
    QProcess p;
    p.start(identify, {"-verbose", entryPath(root, "large", photo)});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 0);
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    QVERIFY2(out.contains("Geometry: 256x170"), qPrintable(out));
    const QString uri = QString::fromUtf8(ThumbnailCache::fileUri(photo));
    QVERIFY2(out.contains("Thumb::URI: " + uri), qPrintable(out));
    QVERIFY2(out.contains("Thumb::MTime: 1650000000"), qPrintable(out));
    QVERIFY2(out.contains("Thumb::Size: " + QString::number(QFileInfo(photo).size())),
             qPrintable(out));
    QVERIFY2(!out.contains("warning", Qt::CaseInsensitive), qPrintable(out));
}

PICTAVO_TEST_MAIN(TestThumbnailCache)
#include "tst_thumbnailcache.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QImage>
#include <QList>
#include <QObject>
#include <QSize>
#include <QString>

#include <stdexcept>

#include "core/Formats.h"

class QPixmap;

namespace imaging {

// A failing engine member throws this; description() is the short text that
// callers show in their message boxes ("Cannot read photo.jpg: the file is
// truncated").
class ImageError : public std::runtime_error
{
public:
    explicit ImageError(const QString &description);
    QString description() const { return m_description; }

private:
    QString m_description;
};

// What a decode produced: the pages (first page only unless asked for all),
// the file's format code, the original size of the first page and its bits
// per pixel. Plain data, safe to pass between threads.
struct Decoded
{
    QList<QImage> pages;
    int formatCode = core::FormatUnknown;
    QSize originalSize; // first page, before any reduced-size decoding
    int bitsPerPixel = 0;
    int pageCount = 0; // pages in the file (may exceed pages.size())
    QString path;
    QString error; // empty on success
    // Refused from its header by the decode budget (a chunk longer than the
    // file, a picture beyond the memory allowed): no other decoder is tried.
    bool refusedByBudget = false;

    bool ok() const { return error.isEmpty() && !pages.isEmpty(); }
};

struct DecodeOptions
{
    // Non-empty: decode so that the result covers at least this box but is no
    // larger than needed (JPEG decodes at a reduced scale); the aspect ratio
    // is kept. Empty: full size.
    QSize boundingSize;
    bool allPages = false;
    // Without allPages: the page to decode (from 0), alone.
    int page = 0;
};

// Reads a file by its content (not its extension). Thread-safe; never
// throws; a damaged file gives an error description.
Decoded decodeFile(const QString &path, const DecodeOptions &options = {});

// The picture loader for icons, cursors and device-independent bitmaps: the
// first image of the file, read by content (a .dib may be a whole BMP file
// or a bare bitmap). A null image on failure, with the description in *error.
QImage loadPicture(const QString &path, QString *error = nullptr);

// The imaging engine: the current image (a file's pages or one picture) and
// what the windows do with it. It holds QImages only, so an engine can live
// on a worker thread; the view widget (ImageView) wraps one for display.
class ImageEngine : public QObject
{
    Q_OBJECT

public:
    explicit ImageEngine(QObject *parent = nullptr);

    // Decodes a file's first page and makes it current; throws ImageError
    // on undecodable files. Other pages are decoded when selected. A valid
    // boundingSize decodes the first page reduced, as decodeFile does.
    void loadFile(const QString &path, QSize boundingSize = {});
    // Takes over a picture decoded by the picture loader.
    void loadPicture(const QImage &picture);
    // Takes over a decode done elsewhere (a worker thread).
    void loadDecoded(const Decoded &decoded);
    // Drops every page.
    void clear();

    // Pages in the file (or 1 for a picture); 0 when there is no image.
    int pageCount() const;
    // Size of page index (from 0), decoding it if need be; an invalid size
    // when there is none or it cannot be decoded.
    QSize pageSize(int index) const;
    // Makes page index the current image, decoding it from the file if need
    // be; throws ImageError when absent or undecodable.
    void selectPage(int index);

    // The current image (QImage() when none) and what is known of it.
    const QImage &currentImage() const;
    int width() const;
    int height() const;
    int bitsPerPixel() const;
    QString filePath() const; // full path of the loaded file, empty for a picture
    QString fileName() const; // name with extension
    int formatCode() const;

    // Resamples to w x h; a height of 0 (or width of 0) keeps proportions.
    void resize(int width, int height);
    // Puts the image at x, y on a canvas of w x h filled with fill.
    void resizeCanvas(int width, int height, const QColor &fill, int x, int y);
    // Turns the whole image by angle degrees (+90 and -90 turn it exactly).
    void rotate(double angle);

    void copyToClipboard() const; // UI thread only
    // Writes the current image in the format of the save code; never
    // leaves a half-written file under the target name.
    void save(const QString &path, int formatCode, bool overwrite = true) const;

signals:
    // After every change of the current image.
    void changed();

private:
    void setDecoded(const Decoded &decoded);
    // Decodes page index from the file when it is not held yet; only the
    // first page and the last one asked for are kept. Empty on success,
    // else the description.
    QString ensurePage(int index) const;
    QImage &currentForChange(); // throws ImageError when there is no image

    mutable QList<QImage> m_pages; // a null image: not decoded yet
    int m_current = -1;
    QString m_path;
    int m_formatCode = core::FormatUnknown;
    int m_bitsPerPixel = 0;
    QImage m_empty;
};

// A colour with the given opacity (0 transparent to 255 opaque).
QColor makeColor(QRgb rgb, int opacity);

// The longest side of a raster picture the engine reads. The other limits
// are set at start-up (imaging/Startup.h).
inline constexpr int kMaxImageSide = 32767;

} // namespace imaging

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Formats.h"

#include <QColor>
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>

#include <functional>
#include <stdexcept>

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

    bool ok() const { return error.isEmpty() && !pages.isEmpty(); }
};

struct DecodeOptions
{
    // Non-empty: decode so that the result covers at least this box but is no
    // larger than needed (JPEG decodes at a reduced scale); the aspect ratio
    // is kept. Empty: full size.
    QSize boundingSize;
    bool allPages = false;
};

// Reads a file by its content (not its extension). Thread-safe; never
// throws; a damaged file gives an error description.
Decoded decodeFile(const QString &path, const DecodeOptions &options = {});

// The picture loader for icons, cursors and device-independent bitmaps: the
// first image of the file, read by content (a .dib may be a whole BMP file
// or a bare bitmap). A null image on failure, with the description in *error.
QImage loadPicture(const QString &path, QString *error = nullptr);

// The imaging engine: the current image and the members the windows use.
// It holds QImages only, so an engine can live on a worker thread; the view
// widget (ImgXCtrl) wraps one for display.
class ImageEngine
{
public:
    ImageEngine();
    ImageEngine(const ImageEngine &) = delete;
    ImageEngine &operator=(const ImageEngine &) = delete;

    struct LoaderT
    {
        // Decodes a file (first page first) and makes it current; throws
        // ImageError on undecodable files.
        void LoadFile(const QString &path, int flags = 0, const QString &options = {},
                      QSize boundingSize = {});
        // Takes over a picture decoded by the picture loader.
        void LoadPicture(const QImage &picture, const QString &options = {});
        // Takes over a decode done elsewhere (a worker thread).
        void LoadDecoded(const Decoded &decoded);
        ImageEngine &e;
    } Loader{*this};

    struct ImageItem
    {
        int Width = 0;
        int Height = 0;
        int index = -1;
    };

    struct ImagesT
    {
        int Count() const;
        // Page i from 0; nullopt-like (index -1) when absent.
        ImageItem Item(int i) const;
        void Select(const ImageItem &image);
        void Clear(const QString &options = {});
        ImageEngine &e;
    } Images{*this};

    struct ImageInfoT
    {
        int Width() const;
        int Height() const;
        int BitsPerPixel() const;
        QString FilePath() const; // full path of the loaded file, empty for a picture
        QString FileName() const; // name with extension
        int FormatCode() const;
        const ImageEngine &e;
    } ImageInfo{*this};

    struct TransformT
    {
        // Resamples to w x h; a height of 0 (or width of 0) keeps proportions.
        void Resize(int w, int h, int mode = 4, const QString &options = {});
        void ResizeCanvas(int w, int h, const QColor &fill, int x, int y,
                          const QString &options = {});
        // Rotates the whole image by +90 or -90 degrees (other angles: any).
        void Rotate(double angle, const QString &region = {}, int flags = 0,
                    const QString &options = {});
        ImageEngine &e;
    } Transform{*this};

    struct CanvasT
    {
        QColor MakeColor(QRgb rgb, int opacity) const;
    } Canvas;

    struct OutputT
    {
        QImage ToPicture() const;
        void CopyToClipboard() const; // UI thread only
        // Writes the current image in the format of the save code; never
        // leaves a half-written file under the target name.
        void Save(const QString &path, int formatCode, int flags = 0, bool overwrite = true) const;
        const ImageEngine &e;
    } Output{*this};

    // The current image (QImage() when none).
    const QImage &currentImage() const;
    // Called after every change of the current image.
    std::function<void()> onChanged;

private:
    void setDecoded(const Decoded &decoded);
    QImage &currentForChange(); // throws ImageError when there is no image
    void changed();

    QList<QImage> m_pages;
    int m_current = -1;
    QString m_path;
    int m_formatCode = core::FormatUnknown;
    int m_bitsPerPixel = 0;
    QImage m_empty;
};

// Resource limits: call once at start-up (QImageReader allocation limit,
// Magick++ limits, the 32767-pixel side limit).
void initializeImaging();
inline constexpr int kMaxImageSide = 32767;

} // namespace imaging

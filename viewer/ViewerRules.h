// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The viewer's arithmetic and text rules as plain functions, so that each can
// be checked without a window. Sizes are in twips unless a name says pixels.

#include <QPointF>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include "imaging/ImageView.h"

namespace viewer {

// Stored texts of the viewer's three settings, with their defaults.
inline constexpr char16_t kAntiAliasKey[] = u"AntiAlias";
inline constexpr char16_t kSlideShowDelayKey[] = u"Slide Show Delay";
inline constexpr char16_t kFullScreenKey[] = u"FullScreen";
inline constexpr char16_t kAntiAliasDefault[] = u"1";
inline constexpr char16_t kSlideShowDelayDefault[] = u"2000";
inline constexpr char16_t kFullScreenDefault[] = u"1";

// A stored flag: "0" is off, any other number on. Text that is not a number
// reads as the default (itself a number); *fellBack tells when it did.
bool settingToBool(const QString &text, const QString &defaultText, bool *fellBack = nullptr);
// A stored delay in milliseconds: a number rounded to the nearest integer
// (halves to even) within 0..32767; anything else reads as the default.
int settingToDelay(const QString &text, const QString &defaultText, bool *fellBack = nullptr);
// How a flag is stored: "-1" or "0".
QString boolToSetting(bool on);

// The answer of the slide-show delay box. Empty or not a number: ignored;
// a number outside 0..32767: invalid.
struct DelayAnswer
{
    enum class Kind
    {
        Ignored,
        Invalid,
        Accepted
    };
    Kind kind = Kind::Ignored;
    int milliseconds = 0;
};
DelayAnswer parseDelayAnswer(const QString &answer);

// Round half away from zero, as the "#" and "#.#" patterns do.
double roundHalfAway(double value);
// Round half to even, as the conversion to an integer does.
qint64 roundHalfEven(double value);
// Pattern "#": whole number, empty text for 0.
QString formatHash(double value);
// Pattern "#.#": integer digits (none for 0), always the point, the tenths
// digit only when it is not 0.
QString formatHashDotHash(double value);
// Panel 3 text: "512 Bytes", "1.5 KB", "1. MB".
QString formatFileSize(float size);
// Panel 4 text: "800x600x24b jpg"; without an extension no blank follows
// the depth.
QString imageFormatText(int width, int height, int bitsPerPixel, const QString &extension);
// Panel 5 text: zoom x 100 with "#", then " %".
QString zoomPanelText(double zoom);

// The window title: file name, "- Pictavo ", major "." minor.
QString imageTitle(const QString &path);
// Text after the last "/" of a path.
QString fileNamePart(const QString &path);

// Wrap of a position one step beyond either end of a list of `count`
// entries: upper bound + 1 becomes 0, then -1 becomes the upper bound.
int wrapIndex(int index, int count);

// The view's size after a resize of the window (outer size, twips).
struct ViewLayout
{
    double viewWidth = 0;
    double viewHeight = 0;
    double toolbarWidth = 0;
};
ViewLayout resizeLayout(QSizeF windowTwips, double toolbarHeight);

// The fit test: Fitted when the image as drawn at the zoom (whole pixels)
// fits the view that shows it (equality fits), else Panned. The view's size
// is the one the image is drawn in, so the zoom shown is the zoom drawn.
imaging::ViewAlignment viewModeFor(double zoom, int imageWidth, int imageHeight, QSizeF viewTwips,
                                   double tppX, double tppY);

// The zoom for a large image: when the image is larger than the view in
// both directions, the smaller of view width / image width and view height
// / image height, so that the whole picture shows; else `zoom` unchanged.
double fitZoom(double zoom, int imageWidth, int imageHeight, QSizeF viewTwips, double tppX,
               double tppY);

// Zoom steps: x1.25 unless already above 1600 %, x0.75 unless already below
// 0.5 %.
double zoomInStep(double zoom);
double zoomOutStep(double zoom);

// Window sizing around an image of w x h pixels in a window that is neither
// minimized nor maximized. `chrome` is what the window adds around the
// view's area (frame, menu bar, toolbar, status bar, margins), in twips.
struct WindowFit
{
    double viewWidth = 0; // the view's size before the resize rules lay it out
    double viewHeight = 0;
    QSizeF window; // outer size to set
};
WindowFit fitWindowToImage(int w, int h, double tppX, double tppY, QSizeF chrome);

// Window position that centres `window` on `screen` (both twips).
QPointF centredPosition(QSizeF window, QSizeF screen);

// The Open dialog's filter, as "description|pattern" pairs, and its Qt form.
QString openFilter();
QStringList qtNameFilters(const QString &pairs);

} // namespace viewer

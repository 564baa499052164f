// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/ViewerRules.h"

#include <QPointF>
#include <QRegularExpression>

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <limits>

#ifndef PICTAVO_VERSION_MAJOR
#define PICTAVO_VERSION_MAJOR 1
#endif
#ifndef PICTAVO_VERSION_MINOR
#define PICTAVO_VERSION_MINOR 0
#endif

namespace viewer {

namespace {
// A stored or typed number; blanks around it are allowed, nothing else.
bool parseNumber(const QString &text, double *value)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}
} // namespace

bool settingToBool(const QString &text, const QString &defaultText, bool *fellBack)
{
    double v = 0;
    const bool readable = parseNumber(text, &v);
    if (fellBack)
        *fellBack = !readable;
    if (readable)
        return v != 0;
    return parseNumber(defaultText, &v) && v != 0;
}

int settingToDelay(const QString &text, const QString &defaultText, bool *fellBack)
{
    double v = 0;
    if (fellBack)
        *fellBack = false;
    if (parseNumber(text, &v)) {
        const qint64 ms = roundHalfEven(v);
        if (ms >= 0 && ms <= 32767)
            return int(ms);
    }
    if (fellBack)
        *fellBack = true;
    if (parseNumber(defaultText, &v))
        return int(std::clamp<qint64>(roundHalfEven(v), 0, 32767));
    return 2000;
}

QString boolToSetting(bool on)
{
    return on ? QStringLiteral("-1") : QStringLiteral("0");
}

DelayAnswer parseDelayAnswer(const QString &answer)
{
    if (answer.isEmpty())
        return {};
    double v = 0;
    // An answer that is no number is ignored as a blank one is, without a
    // word; only a number that cannot be kept as a delay is refused.
    if (!parseNumber(answer, &v))
        return {};
    // The answer is taken in single precision, then rounded.
    const qint64 ms = roundHalfEven(double(float(v)));
    if (ms < 0 || ms > 32767)
        return {DelayAnswer::Kind::Invalid, 0};
    return {DelayAnswer::Kind::Accepted, int(ms)};
}

double roundHalfAway(double value)
{
    return std::round(value);
}

qint64 roundHalfEven(double value)
{
    if (std::fabs(value) > 9.0e15)
        return value < 0 ? std::numeric_limits<qint64>::min() : std::numeric_limits<qint64>::max();
    const int old = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(value);
    std::fesetround(old);
    return qint64(r);
}

QString formatHash(double value)
{
    const double r = roundHalfAway(value);
    if (r == 0)
        return {};
    return QString::number(qint64(r));
}

QString formatHashDotHash(double value)
{
    const qint64 tenths = qint64(roundHalfAway(value * 10.0));
    const qint64 whole = tenths / 10;
    const qint64 frac = std::llabs(tenths % 10);
    QString text;
    if (tenths < 0)
        text += QLatin1Char('-');
    if (whole != 0)
        text += QString::number(std::llabs(whole));
    text += QLatin1Char('.');
    if (frac != 0)
        text += QString::number(frac);
    return text;
}

QString formatFileSize(float size)
{
    if (size < 1024.0f)
        return QString::number(double(size), 'g', 9) + QStringLiteral(" Bytes");
    if (size < 1048576.0f)
        return formatHashDotHash(double(size / 1024.0f)) + QStringLiteral(" KB");
    return formatHashDotHash(double(size) / 1048576.0) + QStringLiteral(" MB");
}

QString imageFormatText(int width, int height, int bitsPerPixel, const QString &extension)
{
    QString text = QStringLiteral("%1x%2x%3b").arg(width).arg(height).arg(bitsPerPixel);
    if (!extension.isEmpty())
        text += QLatin1Char(' ') + extension;
    return text;
}

QString zoomPanelText(double zoom)
{
    return formatHash(zoom * 100.0) + QStringLiteral(" %");
}

QString fileNamePart(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString imageTitle(const QString &path)
{
    return fileNamePart(path) + QStringLiteral("- Pictavo ") +
           QString::number(PICTAVO_VERSION_MAJOR) + QLatin1Char('.') +
           QString::number(PICTAVO_VERSION_MINOR);
}

int wrapIndex(int index, int count)
{
    if (index == count)
        index = 0;
    if (index == -1)
        index = count - 1;
    return index;
}

ViewLayout resizeLayout(QSizeF windowTwips, double toolbarHeight)
{
    return {windowTwips.width(), windowTwips.height() - toolbarHeight - 600.0, windowTwips.width()};
}

imaging::ViewAlignment viewModeFor(double zoom, int imageWidth, int imageHeight, QSizeF viewTwips,
                                   double tppX, double tppY)
{
    // The image is drawn at whole pixels; measured the same way, a zoom
    // chosen to fill the view fits it exactly.
    const float scaledW = float(double(std::lround(zoom * imageWidth)) * tppX);
    const float scaledH = float(double(std::lround(zoom * imageHeight)) * tppY);
    const bool fits = scaledW <= float(viewTwips.width()) && scaledH <= float(viewTwips.height());
    return fits ? imaging::ViewAlignment::Fitted : imaging::ViewAlignment::Panned;
}

double fitZoom(double zoom, int imageWidth, int imageHeight, QSizeF viewTwips, double tppX,
               double tppY)
{
    const float w = float(tppX * imageWidth);
    const float h = float(tppY * imageHeight);
    // The smaller of the two ratios, so that the whole picture shows.
    if (w > float(viewTwips.width()) && h > float(viewTwips.height()))
        return std::min(double(float(viewTwips.width())) / double(w),
                        double(float(viewTwips.height())) / double(h));
    return zoom;
}

double zoomInStep(double zoom)
{
    return zoom * 100.0 > 1600.0 ? zoom : zoom * 1.25;
}

double zoomOutStep(double zoom)
{
    return zoom * 100.0 < 0.5 ? zoom : zoom * 0.75;
}

WindowFit fitWindowToImage(int w, int h, double tppX, double tppY, QSizeF chrome)
{
    WindowFit fit;
    fit.viewWidth = tppX * w;
    fit.viewHeight = tppY * h + 200.0;
    if (fit.viewWidth < 6000.0)
        fit.viewWidth = 7590.0;
    if (h < 100)
        fit.viewHeight = 4000.0;
    // The window is as large as the view plus what surrounds it, so that
    // the view really gets the room the image asks for.
    fit.window = QSizeF(fit.viewWidth + chrome.width(), fit.viewHeight + chrome.height());
    return fit;
}

QPointF centredPosition(QSizeF window, QSizeF screen)
{
    return {(screen.width() - window.width()) / 2.0, (screen.height() - window.height()) / 2.0};
}

QString openFilter()
{
    return QStringLiteral(
        "All "
        "Images|*.jpg;*.jpeg;*.gif;*.bmp;*.dib;*.png;*.psd;*.tif;*.pcx;*.tga;*.wbmp;*.wmf;*.ico;"
        "*.cur;*.emf;*.tla|Joint Photographic Experts Group  <JPG,JPEG>|*.jpg;*.jpeg|Graphics "
        "Interchange Format  <GIF>|*.gif|Windows Bitmap  <BMP,DIB>|*.bmp;*.dib|Portable Network "
        "Graphics  <PNG>|*.png|Photoshop  <PSD>|*.psd|Tagged Image File  <TIF>|*.tif|ZSoft "
        "PaintBrush  <PCX>|*.pcx|Truevision Targa  <TGA>|*.tga|Wireless Bitmap  <WBMP>|*.wbmp|"
        "Windows Meta File  <WMF>|*.wmf|ICO Files  <ICO>|*.ICO|Windows Enhanced Meta File "
        "<EMF>|*.emf|All Files|*.*");
}

QStringList qtNameFilters(const QString &pairs)
{
    const QStringList parts = pairs.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts.at(i + 1);
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        filters << parts.at(i) + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return filters;
}

} // namespace viewer

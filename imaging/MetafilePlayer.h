// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Playback of metafile records onto a QPainter, shared by both formats: the
// device context, the GDI objects, and the drawing primitives the EMF
// records (MetafileEmf.cpp) and WMF records (MetafileWmf.cpp) map onto.

#include <QBrush>
#include <QColor>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>
#include <QTransform>

#include <optional>
#include <set>
#include <vector>

#include "imaging/Metafile.h"
#include "imaging/MetafileDib.h"

namespace imaging::metafile::detail {

// Playback limits. Every loop below runs over records or over elements whose
// count was checked against the bytes that hold them, so these bound the work
// a damaged or hostile file can cause.
inline constexpr qint64 kMaxRecords = 10'000'000;
inline constexpr int kMaxSaveDepth = 256;
inline constexpr qint64 kBitmapPixelBudget = 4 * kMaxPixels; // decoded bitmap pixels per picture
inline constexpr int kMaxClipRects = 4096;
inline constexpr double kMaxFontPixels = 4096;
inline constexpr double kMaxCoordinate = 1e9;
inline constexpr double kMaxPenWidth = 32767; // QPen's own limit
// Geometry is cut no nearer than this to the picture, whatever the pen.
inline constexpr double kMaxReachMargin = 65536;
// The rasterizer's work for one shape, in pixel cells along its edges, is
// charged as painted area: this much per cell, and as the square of the
// cells (its time grows so once one shape's cells overflow the rasterizer's
// working memory) this much per cell for every kCellsBeforeOverflow cells.
inline constexpr double kPixelsPerCell = 16;
inline constexpr double kPixelsPerOverflowCell = 420;
inline constexpr double kCellsBeforeOverflow = 20000;
// Combining clip outlines exactly takes Qt time in proportion to their edges,
// and much faster than that to the crossings between them: this much per
// edge, and this much times the crossings to the power 1.5. Beyond
// kMaxCrossingTests compared pairs of edges the outlines count as too tangled.
inline constexpr double kPixelsPerClipEdge = 2000;
inline constexpr double kPixelsPerClipCrossing = 150;
inline constexpr qint64 kMaxCrossingTests = 20'000'000;
// A clip region of many overlapping rectangles can fall apart into a grid of
// far more pieces; regions as written by Windows never overlap.
inline constexpr int kMaxClipRegionPieces = 4 * kMaxClipRects;

QColor colorRef(quint32 c);
// True when every element of t is finite and within the coordinate limit.
bool finite(const QTransform &t);

struct FontSpec
{
    QString face;
    double height = 0;
    int weight = 400;
    bool italic = false, underline = false, strikeOut = false;
    double escapement = 0; // tenths of a degree, counter-clockwise
};

struct GdiObject
{
    enum class Type
    {
        Other,
        Pen,
        Brush,
        Font
    };
    Type type = Type::Other;
    QPen pen;
    QBrush brush;
    FontSpec font;
};

enum MapMode
{
    MmText = 1,
    MmLoMetric,
    MmHiMetric,
    MmLoEnglish,
    MmHiEnglish,
    MmTwips,
    MmIsotropic,
    MmAnisotropic
};

struct DcState
{
    QPen pen{QColor(Qt::black), 0};
    QBrush brush{Qt::white};
    FontSpec font;
    QColor textColor{Qt::black};
    QColor bkColor{Qt::white};
    bool bkOpaque = true;
    Qt::FillRule fillRule = Qt::OddEvenFill;
    int mapMode = MmText;
    QPointF windowOrg{0, 0}, windowExt{1, 1}, viewportOrg{0, 0}, viewportExt{1, 1};
    QTransform world;
    QPointF position;
    quint32 textAlign = 0;
    bool hasClip = false;
    QPainterPath clip; // output pixels
};

QPen makePen(quint32 style, double width, QColor color, bool cosmetic);
QBrush makeBrush(quint32 style, QColor color, quint32 hatch);

// Reads `count` points of 32-bit (wide) or 16-bit coordinates at `at`.
bool readPoints(Bytes r, qint64 at, qint64 count, bool wide, QPolygonF *out);
QRectF rectLtrb(double l, double t, double r, double b);
QString utf16(Bytes r, qint64 at, qint64 chars);
QString latin1(Bytes r, qint64 at, qint64 chars);
// Reads the logical font that starts at `at` of a record of `size` bytes: 32-bit
// fields and a UTF-16 face name in EMF (wide), 16-bit fields and an 8-bit face
// name in WMF. The face name ends at its first NUL.
GdiObject readLogFont(Bytes r, qint64 at, qint64 size, bool wide);

// EMF+ (the drawing commands of GDI+, carried in comment records): the
// objects a record refers to by id, and the graphics state.
struct PlusObject
{
    enum class Type
    {
        None,
        Brush,
        Pen,
        Path,
        Image,
        Font,
        StringFormat
    };
    Type type = Type::None;
    QBrush brush;        // brushes, and the brush of a pen
    QPen pen;            // width in world units unless penUnit says otherwise
    quint32 penUnit = 0; // 0: world units
    double penWidth = 0;
    QPainterPath path;
    QImage image;
    QString family; // fonts
    double emSize = 0;
    quint32 sizeUnit = 0;
    quint32 style = 0;
    quint32 align = 0, lineAlign = 0; // string formats: 0 near, 1 centre, 2 far
    quint32 formatFlags = 0;
};

struct PlusState
{
    QTransform world;
    quint32 pageUnit = 1; // display units, pixels here
    double pageScale = 1;
    bool hasClip = false;
    QPainterPath clip; // output pixels
};

inline constexpr int kPlusObjects = 64;
inline constexpr qint64 kMaxPlusObjectBytes = qint64(64) * 1024 * 1024;

class Player
{
public:
    Player(QImage &target, bool emf);

    // Emf: device pixels to output pixels. Wmf: the window to output pixels.
    void setOutputTransform(const QTransform &t) { m_output = t; }
    void setPixelsPerMm(double x, double y)
    {
        m_pxPerMmX = x;
        m_pxPerMmY = y;
    }
    DcState &dc() { return m_dc; }
    bool drew() const { return m_drew; }
    // True once the records drew more than the budget allows (the pixels
    // they covered, a multiple of the picture's own area): a few kilobytes
    // of full-picture shapes must not keep the processor busy for minutes.
    bool overBudget() const { return m_painted > m_paintBudget; }

    // Plays one EMF record (MetafileEmf.cpp); false at the end-of-file record.
    bool emfRecord(quint32 type, Bytes r);
    // Plays one WMF record (MetafileWmf.cpp).
    void wmfRecord(quint16 function, Bytes r);
    // Plays the EMF+ records of one comment record (MetafileEmfPlus.cpp).
    void emfPlusRecords(Bytes block);
    // Whether plain EMF records draw: always without EMF+, in a file that
    // asks for both ("EMF+ dual"), and between EMF+ GetDC and the next EMF+
    // record otherwise.
    bool plainRecordsPlayed() const { return !m_plusSeen || m_plusDual || m_plusGetDc; }

private:
    // Coordinates
    QTransform pageTransform() const;
    QTransform full() const { return m_dc.world * pageTransform() * m_output; }
    bool prepare(bool usePen, bool useBrush);
    // Counts what a primitive covers towards the budget: an area in output
    // pixels, or a line along its box.
    void chargeArea(const QRectF &output);
    void chargeLine(const QRectF &output);
    void chargeStroke(const QRectF &output, double penWidth);

    // Drawing
    // The painter's drawing as prepared, with geometry that reaches far
    // beyond the picture cut down to it first (MetafileClip.h). closed:
    // subpaths are filled areas, else lines.
    void drawPath(const QPainterPath &path, bool closed);
    void drawPolyline(const QPolygonF &points);
    // path, drawn through t with a pen reaching penReach output pixels from
    // its line, cut to what can show: itself when it stays near the picture.
    QPainterPath withinReach(const QPainterPath &path, const QTransform &t, bool closed,
                             double penReach) const;
    // The output area beyond which nothing drawn with a pen of that reach
    // can show.
    QRectF reach(double penReach) const;
    // How far the current pen draws from its line, in output pixels.
    double penReach() const;
    // Charges the rasterizer's work for drawing path (in the painter's
    // coordinates) with the painter's pen and brush; false, and over budget,
    // when it would go beyond the budget.
    bool affordToDraw(const QPainterPath &path, bool closed);
    // The same for the clip path about to be set on the painter (output
    // coordinates), and for combining two clip outlines.
    bool affordToSetClip(const QPainterPath &clip);
    // Puts a clip (output coordinates; cut: first cut to the picture) on the
    // painter unless it is there already; false when that would go beyond
    // the budget.
    bool showClip(bool hasClip, const QPainterPath &clip, bool cut);
    bool affordToCombineClips(const QPainterPath &a, const QPainterPath &b);
    // Adds charge to the painted area; false, and over budget, when that
    // would go beyond the budget.
    bool spend(double charge);
    void drawShape(const QPainterPath &logical, bool fill);
    void moveTo(QPointF p);
    void lineTo(QPointF p);
    void polyline(const QPolygonF &points, bool fromCurrent);
    void polyBezier(const QPolygonF &points, bool fromCurrent);
    void polygon(const QPolygonF &points);
    void polyPolygon(const std::vector<QPolygonF> &polys);
    void arc(QRectF box, QPointF start, QPointF end, int kind); // 0 arc, 1 chord, 2 pie
    void text(QPointF reference, const QString &s, const std::vector<double> &dx,
              const QRectF *opaqueBox);
    void bitmap(QRectF dest, QRectF source, const Dib &dib, quint32 rop);
    void patBlt(QRectF dest, quint32 rop);
    void intersectClip(QRectF rect, bool exclude);
    // clip (no clip: the whole picture) combined with p: 1 intersect,
    // 2 union, 3 xor, 4 exclude; any other op gives p. Nothing when the
    // work would go beyond the budget.
    std::optional<QPainterPath> combinedClip(bool hasClip, const QPainterPath &clip,
                                             const QPainterPath &p, quint32 op);
    void setClip(const QPainterPath &outputPath, quint32 mode);
    void saveDc();
    void restoreDc(qint32 which);
    Dib dib(Bytes info, Bytes bits, quint32 usage, bool packed = false);
    void strokePath(bool fill, bool stroke);

    // EMF+
    void emfPlusRecord(quint16 type, quint16 flags, Bytes d);
    void plusObject(quint16 flags, Bytes d);
    PlusObject plusParse(quint32 kind, Bytes d) const;
    QBrush plusBrush(Bytes d) const;
    QImage plusImage(Bytes d) const;
    QTransform plusTransform() const;
    double plusUnitPixels(quint32 unit, bool vertical) const;
    bool plusPrepare();
    const PlusObject *plusFind(quint32 id, PlusObject::Type type) const;
    QBrush plusFill(bool isColor, quint32 id) const;
    QPen plusPen(quint32 id) const;
    void plusFillPath(const QPainterPath &path, const QBrush &brush);
    void plusDrawPath(const QPainterPath &path, quint32 penId);
    void plusString(quint16 flags, Bytes d);
    void plusDriverString(quint16 flags, Bytes d);
    void plusImageDraw(quint32 id, QRectF source, const QTransform &place);
    void plusClip(const QPainterPath &world, quint32 combine);
    void plusSave(quint32 index, const QTransform &container);
    void plusRestore(quint32 index);

    // Objects
    void select(const GdiObject &object);
    void selectStock(quint32 index);
    void wmfCreate(const GdiObject &object);

    bool m_emf;
    QImage &m_image;
    QPainter m_painter;
    QTransform m_output;
    double m_pxPerMmX = 96 / 25.4, m_pxPerMmY = 96 / 25.4;
    DcState m_dc;
    std::vector<DcState> m_saved;
    QHash<quint32, GdiObject> m_objects;
    std::set<quint32> m_wmfFree; // freed slots below m_wmfNext
    quint32 m_wmfNext = 0;
    bool m_inPath = false;
    QPainterPath m_path; // output pixels
    bool m_clipApplied = false;
    QPainterPath m_clipShown;
    bool m_drew = false;
    qint64 m_bitmapPixels = 0;

    bool m_plusSeen = false, m_plusDual = false, m_plusGetDc = false;
    double m_plusDpiX = 96, m_plusDpiY = 96;
    PlusState m_plus;
    std::vector<std::pair<quint32, PlusState>> m_plusSaved;
    std::vector<PlusObject> m_plusObjects = std::vector<PlusObject>(kPlusObjects);
    QByteArray m_plusPending; // an object spread over several records
    quint16 m_plusPendingFlags = 0;
    qint64 m_plusPendingTotal = 0;
    qint64 m_painted = 0;
    qint64 m_paintBudget = 0;
};

} // namespace imaging::metafile::detail

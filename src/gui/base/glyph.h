#pragma once
// Button glyphs: bitmap resources of the program whose bottom-left pixel gives the
// transparent colour.
#include <QImage>
#include <QPainterPath>
#include <QString>

namespace rk5 {

// The resource as stored (24 bits, no transparency); a null image when it is missing.
QImage LoadGlyphBitmap(const QString& name);

// The glyph ready to draw: every pixel of the bottom-left pixel's colour made transparent.
QImage LoadGlyph(const QString& name);

// The glyph's lines in its own pixel coordinates, to be stroked 1.5 pixels wide on a
// screen denser than the bitmap; empty for a glyph that has none.
QPainterPath GlyphStrokes(const QString& name);

}  // namespace rk5

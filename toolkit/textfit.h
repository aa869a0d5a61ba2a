#pragma once
// Fitting a line of text to a width by setting it narrower. The compiled-in
// font is wider than the one the faces were laid out for, so a caption that
// would just fit there may be a few pixels too wide here. Such a line keeps
// its height and is drawn with a horizontal stretch just small enough for
// it to fit; it is never squeezed below MinimumStretch, so what cannot fit
// even then (a stop name longer than the display) stays legible and is
// clipped by its label.

#include <QFont>
#include <QString>

namespace tk {

constexpr int MinimumStretch = 85; // percent of the normal width

// The width a line takes in a font: its advance, or its ink where a glyph
// reaches past the advance.
int lineWidth(const QFont& font, const QString& line);

// The stretch, in percent, at which `line` drawn in `font` fits `width`
// pixels: 100 when it fits as it is, else the largest narrower stretch that
// fits, else MinimumStretch.
int fittingStretch(const QFont& font, const QString& line, int width);

} // namespace tk

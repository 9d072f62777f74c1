// Colour reduction to a palette of at most 256 colours, with the error-diffusion dithers of the GIF save
// options. Pure functions without shared state: safe to call from several threads at once.
#pragma once

#include <QImage>
#include <QString>
#include <QVector>

// The palettes, numbered as the save options number them.
enum class TColorReduction : quint8 {
    rmWindows20 = 1,       // "Windows 20 color system palette"
    rmWindows256 = 2,      // "Windows 256 color halftone palette"
    rmWindowsGray = 3,     // "Windows 4 grayscale colors"
    rmMonochrome = 4,      // "Black/White monochrome palette"
    rmGrayScale = 5,       // "Uniform 256 shade grayscale palette"
    rmNetscape = 6,        // "Netscape 216 color palette"
    rmQuantize = 7,        // "Optimal 2^n color palette"
    rmQuantizeWindows = 8, // "Optimal 256 color windows palette"
};

enum class TDitherMode : quint8 {
    dmNearest = 0,        // "Nearest color"
    dmFloydSteinberg = 1, // "Floyd Steinberg dithering"
    dmStucki = 2,         // "Stucki dithering"
    dmSierra = 3,         // "Sierra dithering"
    dmJaJuNI = 4,         // "Jarvis, Judice & Ninke dithering"
    dmSteveArche = 5,     // "Stevenson & Arche dithering"
    dmBurkes = 6,         // "Burkes dithering"
};

// The names the save dialog shows; an empty string for a value outside the range.
QString ColorReductionName(int reduction);
QString DitherModeName(int mode);

// The fixed palette of a reduction (empty for the optimal ones, which depend on the picture).
QVector<QRgb> FixedPalette(TColorReduction reduction);
// The system colours: the first ten and last ten entries of the display's static palette.
const QVector<QRgb>& SystemPalette20();
// An optimal palette of at most count colours for the picture (median cut on a 15-bit histogram,
// deterministic). A picture with no more than count distinct colours gets exactly those colours, in order
// of first appearance. Pixels whose alpha is below 128 take no part.
QVector<QRgb> OptimalPalette(const QImage& image, int count);

// The picture in at most 256 colours as Format_Indexed8; bits (1..8) is the palette size as a bit count
// of rmQuantize. Alpha is ignored. Raises EInvalidGraphicOperation for values outside the ranges.
QImage ReduceColors(const QImage& image, TColorReduction reduction, TDitherMode dither, int bits = 8);
// The same to a given palette (1..256 colours).
QImage ReduceToPalette(const QImage& image, const QVector<QRgb>& palette, TDitherMode dither);

// A reduction that keeps one palette index for transparency.
struct TTransparentReduction {
    QImage Image;         // Format_Indexed8
    int Transparent = -1; // the kept index (the table's last entry, transparent black), or -1
};
// As ReduceColors, keeping one index for transparency: pixels whose alpha is below 128 take no part in the
// palette or the dithering and get that index. The index is kept when some pixel is transparent, or always
// with reserve (for callers that decide themselves which pixels become transparent). The picture's colours
// then share one entry less: an optimal palette has one colour less, a fixed palette of 256 colours gives
// up the entry the picture uses least, a smaller fixed palette gains the entry at its end.
TTransparentReduction ReduceColorsTransparent(const QImage& image, TColorReduction reduction, TDitherMode dither,
                                              int bits = 8, bool reserve = false);

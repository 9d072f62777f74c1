// Helpers the decoders of today's formats share: colour profiles to sRGB, EXIF orientation, the
// orientation of a picture applied to its pixels, and 16-bit samples brought to 8 bits.
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QImage>
#include <QVector>

// Converts image (RGB32 or ARGB32) from the colours of the ICC profile to sRGB; an empty, unreadable or
// sRGB profile leaves it as it is.
void ConvertProfileToSrgb(QImage& image, const QByteArray& icc);

// The orientation tag (1..8) of an EXIF block, with or without the "Exif\0\0" header (and the 4-byte
// offset HEIF puts before it); 1 when there is none or the block cannot be read.
int ExifOrientation(const QByteArray& exif);

// The picture turned and mirrored as orientation 1..8 of EXIF says it should be shown.
QImage ApplyOrientation(const QImage& image, int orientation);

// A quality option 0..100 read from text, or EInvalidGraphicOperation naming the key.
int ParseOptionNumber(const QString& key, const QString& value, int low, int high);
bool ParseOptionFlag(const QString& key, const QString& value);

// Converts image to sRGB from the colours an nclx box names (ITU-T H.273 codes). Primaries BT.709
// (or unspecified) need nothing; BT.2020, P3 (DCI and display) and BT.470 primaries are converted. The
// transfer is sRGB's for the BT.709 family and sRGB itself, linear for 8, gamma 2.2 / 2.8 for 4 / 5;
// PQ and HLG pictures are shown with sRGB's curve (no tone mapping of HDR material).
void ConvertNclxToSrgb(QImage& image, int primaries, int transfer);

// 16-bit samples (0..maxValue) to 8 bits, rounded.
inline quint8 To8Bit(quint32 value, quint32 maxValue) {
    if (value >= maxValue) return 255;
    return quint8((value * 255 + maxValue / 2) / maxValue);
}

// Whether the ISOBMFF box structure of a HEIF file names the given item property (irot, imir) in its
// meta box.
bool HeifHasProperty(const QByteArray& file, const char* fourcc);
// The same for a meta box read by HeifMetaBox.
bool HeifMetaHasProperty(const QByteArray& meta, const char* fourcc);
// A top-level box of an ISOBMFF file: its type, where it starts, its header's and its whole size.
struct TBoxSpan {
    QByteArray Type;
    qint64 Pos = 0;
    qint64 HeaderSize = 8;
    quint64 Size = 0;
};
// The top-level boxes from the stream's position, found by their headers alone (a box that runs past the
// end is the last); leaves the stream anywhere.
QVector<TBoxSpan> TopLevelBoxes(QIODevice& stream);
// The first MiB of the top-level "meta" box of an ISOBMFF file, found from the stream's position by the
// boxes' headers alone (empty when there is none); leaves the stream anywhere.
QByteArray HeifMetaBox(QIODevice& stream);

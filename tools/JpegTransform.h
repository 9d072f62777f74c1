// Turning a JPEG file without loss: the coded blocks are rearranged (libjpeg-turbo's lossless transform),
// never decoded and encoded again. The turn is of the picture as viewers show it, so the EXIF
// orientation is folded into the transform and the orientation tag of the result reads 1 (upright);
// every other marker (EXIF, ICC profile, comments) is kept as it was, and a progressive file stays
// progressive.
#pragma once

#include "codec/Graphic.h"

#include <QByteArray>
#include <QSize>
#include <QString>

// The eight lossless transforms.
enum class TJpegTransformOp : quint8 {
    jtNone,
    jtFlipH,      // mirror left to right
    jtFlipV,      // mirror top to bottom
    jtTranspose,  // mirror along the top-left to bottom-right diagonal
    jtTransverse, // mirror along the top-right to bottom-left diagonal
    jtRot90,      // a quarter turn clockwise
    jtRot180,
    jtRot270 // a quarter turn counter-clockwise
};

// The transform that turns a picture stored with EXIF orientation `orientation` (1..8; others count as
// 1), as it is shown, by quarterTurns clockwise (taken modulo 4).
TJpegTransformOp JpegTurnTransform(int orientation, int quarterTurns);

// What a turn of a JPEG file would do.
struct TJpegTurnPlan {
    TJpegTransformOp Op = TJpegTransformOp::jtNone;
    int Orientation = 1; // the EXIF orientation of the file
    QSize Size;          // the stored picture's size
    QSize Block;         // its block (MCU) size: 8 or 16 pixels each way, as its chroma is subsampled
    // True when the transform moves no partial block: the edges it moves are multiples of Block.
    bool Perfect = true;
    // The stored size of the result: the picture turned, and trimmed of partial blocks when not perfect.
    QSize ResultSize;
};

// The JPEG cannot be turned without loss as asked (its partial blocks would have to be trimmed).
class EImperfectTransform : public EInvalidGraphicOperation {
public:
    explicit EImperfectTransform(const TJpegTurnPlan& plan);
    const TJpegTurnPlan Plan;
};

// True when the bytes start as a JPEG file does (SOI and a marker).
bool IsJpegData(const QByteArray& data);
// The orientation tag of the first EXIF block, 1 when there is none or it is not valid.
int JpegExifOrientation(const QByteArray& jpeg);

// Reads the JPEG's header and says what turning it by quarterTurns would do. Raises EInvalidGraphic for
// data that is not a JPEG it can transform.
TJpegTurnPlan PlanJpegTurn(const QByteArray& jpeg, int quarterTurns);

// The JPEG turned by quarterTurns clockwise as it is shown, losslessly. A file with partial blocks on an
// edge the turn moves raises EImperfectTransform unless trim is true, which drops those blocks (a few
// pixel rows or columns). Damaged data raises EInvalidGraphic: a file is never rewritten from a
// picture that did not decode cleanly.
QByteArray RotateJpeg(const QByteArray& jpeg, int quarterTurns, bool trim);
// The transform itself, as RotateJpeg does it, with the EXIF orientation left as it is.
QByteArray TransformJpeg(const QByteArray& jpeg, TJpegTransformOp op, bool trim);
// Sets the orientation tag of the first EXIF block to 1 in place (nothing else moves); returns false
// when there is no valid orientation tag.
bool ResetJpegExifOrientation(QByteArray& jpeg);

// Turns the JPEG file `source` into `dest` (may be the same file) through a temporary file that replaces
// dest only when complete. Raises as RotateJpeg does, and with the file system's message.
void RotateJpegFile(const QString& source, const QString& dest, int quarterTurns, bool trim);

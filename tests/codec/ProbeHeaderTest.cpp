// The header probes of bitmaps, icons and the older raster formats against their decoders: the same size
// or the same error, for whole, damaged and cut files, without decoding where the headers settle it.
#include "TestUtil.h"

#include "codec/Autodesk.h"
#include "codec/Bmp.h"
#include "codec/Cut.h"
#include "codec/Dcx.h"
#include "codec/Ico.h"
#include "codec/Limits.h"
#include "codec/Probe.h"
#include "codec/Psp.h"
#include "codec/Rla.h"
#include "codec/Sgi.h"

#include <QBuffer>
#include <QTemporaryDir>

namespace {

// What a load or a probe came to: a size, an error, or (probes only) no answer.
struct TOutcome {
    bool Answered = false;
    QSize Size;
    QString Error;
    bool TooLarge = false;

    std::string Describe() const {
        if (!Error.isEmpty()) return (TooLarge ? "too large: " : "error: ") + Error.toStdString();
        if (!Answered) return "no answer";
        return std::to_string(Size.width()) + "x" + std::to_string(Size.height());
    }
};

template <class F> TOutcome Outcome(F run) {
    TOutcome o;
    try {
        o.Answered = run(o.Size);
    } catch (const EPictureTooLarge& e) {
        o.Error = e.Message();
        o.TooLarge = true;
    } catch (const Exception& e) {
        o.Error = e.Message();
    }
    return o;
}

template <class T> TOutcome Load(const QByteArray& bytes) {
    return Outcome([&](QSize& size) {
        auto g = LoadGraphic<T>(bytes);
        size = g->FullSize();
        return true;
    });
}

template <class T> TOutcome Probe(const QByteArray& bytes) {
    return Outcome([&](QSize& size) {
        QByteArray copy = bytes;
        QBuffer buffer(&copy);
        buffer.open(QIODevice::ReadOnly);
        T g;
        TGraphicInfo info;
        const bool answered = g.ReadInfo(buffer, info);
        size = QSize(info.Width, info.Height);
        EXPECT_EQ(info.Frames, 1);
        return answered;
    });
}

// The probe gives what the load gives: the same size, or the same error of the same kind. Without
// mustAnswer the probe may also leave the answer to a decode.
template <class T> ::testing::AssertionResult Agrees(const QByteArray& bytes, bool mustAnswer = true) {
    const TOutcome load = Load<T>(bytes), probe = Probe<T>(bytes);
    if (!probe.Answered && probe.Error.isEmpty()) {
        if (mustAnswer) return ::testing::AssertionFailure() << "no answer where the load gives " << load.Describe();
        return ::testing::AssertionSuccess();
    }
    if (probe.Describe() != load.Describe())
        return ::testing::AssertionFailure() << "probe " << probe.Describe() << ", load " << load.Describe();
    return ::testing::AssertionSuccess();
}

// Names a class for the generic lambdas below.
template <class T> struct TTag {
    using type = T;
};

template <class T> QString ProbeError(const QByteArray& bytes) { return Probe<T>(bytes).Error; }

// Restores the pixel limit when it goes out of scope.
struct TPixelLimit {
    explicit TPixelLimit(qint64 limit) : Old(PixelLimit()) { SetPixelLimit(limit); }
    ~TPixelLimit() { SetPixelLimit(Old); }
    qint64 Old;
};

void Poke16(QByteArray& b, int pos, quint32 v) {
    b[pos] = char(v & 0xFF);
    b[pos + 1] = char((v >> 8) & 0xFF);
}
void Poke32(QByteArray& b, int pos, quint32 v) {
    Poke16(b, pos, v & 0xFFFF);
    Poke16(b, pos + 2, v >> 16);
}
quint32 U32BE(const QByteArray& b, int pos) {
    return (quint32(uchar(b[pos])) << 24) | (quint32(uchar(b[pos + 1])) << 16) | (quint32(uchar(b[pos + 2])) << 8) |
           quint32(uchar(b[pos + 3]));
}
void Poke16BE(QByteArray& b, int pos, quint32 v) {
    b[pos] = char((v >> 8) & 0xFF);
    b[pos + 1] = char(v & 0xFF);
}
void Poke32BE(QByteArray& b, int pos, quint32 v) {
    Poke16BE(b, pos, v >> 16);
    Poke16BE(b, pos + 2, v & 0xFFFF);
}

QByteArray Fixture(const char* name) { return ReadFile(DataPath(QString::fromLatin1(name))); }

// Lengths to cut a file at: within and just past every header these formats have, and through the data.
QList<qint64> Cuts(qint64 size) {
    QList<qint64> cuts = {0, 1, 2, 4, 5, 6, 7, 8, 12, 13, 14, 17, 18, 22, 26, 30, 32, 33, 36, 40, 54, 60, 100, 140,
                          511, 512, 513, 520, 740, 741, 744, 800, 801, 1000};
    for (int i = 1; i < 16; ++i) cuts << size * i / 16;
    cuts << size - 2 << size - 1 << size;
    QList<qint64> valid;
    for (qint64 c : cuts)
        if (c >= 0 && c <= size && !valid.contains(c)) valid << c;
    return valid;
}

// A Paint Shop Pro file of version 6 holding only the image attributes block.
QByteArray PspAttributesOnly(int width, int height, int compression) {
    QByteArray b("Paint Shop Pro Image File\n\x1a", 27);
    b.append(QByteArray(32 - b.size(), '\0'));
    Put16(b, 6); // major version
    Put16(b, 0);
    QByteArray attributes;
    Put32(attributes, 46); // chunk size
    Put32(attributes, quint32(width));
    Put32(attributes, quint32(height));
    attributes.append(QByteArray(9, '\0')); // resolution and unit
    Put16(attributes, quint32(compression));
    Put16(attributes, 24); // depth
    Put16(attributes, 1);  // planes
    Put32(attributes, 1u << 24);
    attributes.append(char(0)); // grey
    attributes.append(QByteArray(46 - attributes.size(), '\0'));
    b.append("~BK\0", 4);
    Put16(b, 0); // the image attributes block
    Put32(b, quint32(attributes.size()));
    b.append(attributes);
    return b;
}

} // namespace

// The formats with too few fixtures for the general comparison answer their fixtures from their headers.
TEST(ProbeHeaderTest, FixturesAnswerFromTheirHeaders) {
    for (const char* name : {"cut/halo.cut", "cut/nopal.cut", "cel/animator.cel", "cel/animator.pic", "ico/big.ico",
                             "ico/depths.ico", "ico/multi.ico", "bmp/td24.bmp", "bmp/rle4.bmp", "bmp/r8.bmp", "dcx/three.dcx"}) {
        const QString path = DataPath(QString::fromLatin1(name));
        const TProbe probe = ProbeFile(path), decoded = ProbeFileByDecoding(path);
        EXPECT_TRUE(probe.FromHeader) << name;
        EXPECT_EQ(probe.Class, decoded.Class) << name;
        EXPECT_EQ(QSize(probe.Info.Width, probe.Info.Height), QSize(decoded.Info.Width, decoded.Info.Height)) << name;
        EXPECT_EQ(probe.Info.Pages, decoded.Info.Pages) << name;
        EXPECT_EQ(probe.Info.Frames, decoded.Info.Frames) << name;
    }
}

// Files cut anywhere: the probe gives the size the decoder keeps for the rows that arrived, or the
// decoder's error when nothing can be shown.
TEST(ProbeHeaderTest, CutFilesAgreeWithTheirDecoding) {
    auto sweep = [](const char* name, auto tag, bool mustAnswer) {
        using T = typename decltype(tag)::type;
        const QByteArray whole = Fixture(name);
        EXPECT_TRUE(Agrees<T>(whole)) << name;
        for (qint64 cut : Cuts(whole.size())) EXPECT_TRUE(Agrees<T>(whole.left(cut), mustAnswer)) << name << " cut at " << cut;
    };
    for (const char* name : {"bmp/t24.bmp", "bmp/td24.bmp", "bmp/t24.dib", "bmp/p4.bmp", "bmp/m1.bmp", "bmp/o8.bmp",
                             "bmp/os2v2.bmp", "bmp/bf16.bmp", "bmp/s565.bmp", "bmp/v5_24.bmp", "bmp/icc8.bmp",
                             "bmp/rle4.bmp", "bmp/rle8.bmp", "bmp/r8.bmp", "bmp/a32.bmp"})
        sweep(name, TTag<TBitmap>{}, true);
    // A PNG image cut short is left to the decoder: it may keep some rows of it, or none.
    for (const char* name : {"ico/multi.ico", "ico/depths.ico", "ico/big.ico"}) sweep(name, TTag<TIcon>{}, false);
    for (const char* name : {"sgi/imverbatim.sgi", "sgi/imrle.sgi", "sgi/im16rle.sgi", "sgi/imrgba.sgi"})
        sweep(name, TTag<TSGIGraphic>{}, true);
    for (const char* name : {"rla/oiio-gamma.rla", "rla/packedmatte.rpf", "rla/packedrgb.rla"}) sweep(name, TTag<TRLAGraphic>{}, true);
    sweep("cut/halo.cut", TTag<TCUTGraphic>{}, true);
    sweep("cel/animator.cel", TTag<TAutodeskGraphic>{}, true);
    // A cut first page may still decode in part, or not at all: the decoder tells.
    sweep("dcx/three.dcx", TTag<TDcxGraphic>{}, false);
}

// Bitmaps: top-down rows, the OS/2 bitmap array, plain DIBs and the headers the decoder refuses.
TEST(ProbeHeaderTest, BitmapHeaders) {
    const QByteArray t24 = Fixture("bmp/t24.bmp");
    // Top-down: a negative height is the same picture the right way up.
    QByteArray topDown = t24;
    Poke32(topDown, 22, quint32(-23));
    EXPECT_EQ(Probe<TBitmap>(topDown).Size, QSize(37, 23));
    EXPECT_TRUE(Agrees<TBitmap>(topDown));
    // An OS/2 bitmap array shows its first bitmap; its offsets count from the start of the file.
    QByteArray array = QByteArray("BA") + QByteArray(12, '\0') + t24;
    Poke32(array, 14 + 10, U32(t24, 10) + 14);
    EXPECT_EQ(Probe<TBitmap>(array).Size, QSize(37, 23));
    EXPECT_TRUE(Agrees<TBitmap>(array));

    struct Case {
        int Pos;
        quint32 Value;
        const char* Message;
    };
    for (const Case& c : {Case{14, 200, "Unsupported bitmap header size (200 bytes)"},
                          Case{18, 0, "Invalid bitmap width (0)"},
                          Case{22, 0, "Invalid bitmap height (0)"},
                          Case{22, 0x80000000u, "Invalid bitmap height (-2147483648)"},
                          Case{26, 2 | (7u << 16), "Invalid number of colour planes (2)"},
                          Case{26, 1 | (7u << 16), "Invalid bit count (7)"},
                          Case{30, 4, "Unsupported bitmap compression (JPEG)"},
                          Case{30, 1, "RLE8 compression needs 8 bits per pixel, not 24"},
                          Case{10, 20, "Invalid pixel data offset (20)"}}) {
        QByteArray bad = t24;
        Poke32(bad, c.Pos, c.Value);
        EXPECT_EQ(ProbeError<TBitmap>(bad), QString::fromLatin1(c.Message));
        EXPECT_TRUE(Agrees<TBitmap>(bad)) << c.Message;
    }
    EXPECT_EQ(ProbeError<TBitmap>("XY" + t24.mid(2)), QStringLiteral("Not a Windows bitmap file"));
    // Headers whose pixels are not there.
    EXPECT_EQ(ProbeError<TBitmap>(t24.left(54)), QStringLiteral("The bitmap holds no pixel data"));
    EXPECT_EQ(ProbeError<TBitmap>(t24.left(54 + 37 * 3 - 1)), QStringLiteral("The bitmap holds no pixel data"));
    EXPECT_EQ(Probe<TBitmap>(t24.left(54 + 37 * 3)).Size, QSize(37, 23));
}

// Run-length pixels: the probe reads their first codes only, and leaves data that takes long to place a
// pixel to the decoder.
TEST(ProbeHeaderTest, RunLengthBitmapsNeedAPixel) {
    const QByteArray r8 = Fixture("bmp/r8.bmp");
    const qint64 bits = U32(r8, 10);
    const QByteArray head = r8.left(int(bits));
    const QByteArray nothing = QByteArray::fromHex("00020000"); // a delta that does not move
    // A few empty deltas before a run: still from the headers.
    EXPECT_EQ(Probe<TBitmap>(head + nothing + nothing + QByteArray::fromHex("0305")).Size, QSize(37, 23));
    EXPECT_TRUE(Agrees<TBitmap>(head + nothing + QByteArray::fromHex("0001")));
    // Only empty deltas: no row.
    EXPECT_EQ(ProbeError<TBitmap>(head + nothing + nothing), QStringLiteral("The bitmap holds no pixel data"));
    EXPECT_EQ(ProbeError<TBitmap>(head + nothing + QByteArray::fromHex("0003aa")),
              QStringLiteral("The bitmap holds no pixel data")); // an absolute run cut short
    EXPECT_TRUE(Agrees<TBitmap>(head + nothing + QByteArray::fromHex("0003aa")));
    // Long nothing: the decoder settles it.
    QByteArray longNothing = head;
    for (int i = 0; i < 100; ++i) longNothing += nothing;
    EXPECT_FALSE(Probe<TBitmap>(longNothing).Answered);
    EXPECT_TRUE(Probe<TBitmap>(longNothing).Error.isEmpty());
    QTemporaryDir dir;
    for (const QByteArray& tail : {QByteArray(), QByteArray::fromHex("0001")}) {
        const QString path = dir.filePath(QStringLiteral("long.bmp"));
        WriteFile(path, longNothing + tail);
        if (tail.isEmpty()) {
            EXPECT_THROW(ProbeFile(path), EInvalidGraphic);
            continue;
        }
        const TProbe probe = ProbeFile(path);
        EXPECT_FALSE(probe.FromHeader);
        EXPECT_EQ(QSize(probe.Info.Width, probe.Info.Height), QSize(37, 23));
    }
}

// Every probe refuses a picture over the pixel limit as its decoder does, before reading pixels.
TEST(ProbeHeaderTest, PixelLimitRefusedByTheProbes) {
    const TPixelLimit limit(300);
    auto refused = [](const char* name, auto tag) {
        using T = typename decltype(tag)::type;
        const QByteArray bytes = Fixture(name);
        const TOutcome probe = Probe<T>(bytes);
        EXPECT_TRUE(probe.TooLarge) << name << ": " << probe.Describe();
        EXPECT_TRUE(probe.Error.startsWith(QStringLiteral("The picture is too large: "))) << name;
        EXPECT_TRUE(Agrees<T>(bytes)) << name;
    };
    refused("bmp/t24.bmp", TTag<TBitmap>{});
    refused("bmp/r8.bmp", TTag<TBitmap>{});
    refused("sgi/imrle.sgi", TTag<TSGIGraphic>{});
    refused("rla/packedrgb.rla", TTag<TRLAGraphic>{});
    refused("cut/halo.cut", TTag<TCUTGraphic>{});
    refused("cel/animator.cel", TTag<TAutodeskGraphic>{});
    refused("psp/v6rle.psp", TTag<TPSPGraphic>{});
    EXPECT_EQ(ProbeError<TBitmap>(Fixture("bmp/t24.bmp")),
              QStringLiteral("The picture is too large: 37 x 23 pixels exceeds the limit of 300 pixels"));
}

// Icons show their largest image that reads; the probe picks the same one from the headers.
TEST(ProbeHeaderTest, IconsPickTheImageTheDecoderShows) {
    const QByteArray depths = Fixture("ico/depths.ico");
    EXPECT_EQ(Probe<TIcon>(depths).Size, QSize(48, 40)); // the PNG image
    EXPECT_EQ(Probe<TIcon>(Fixture("ico/big.ico")).Size, QSize(256, 256));
    const int png = 6 + 4 * 16; // the fifth directory entry
    // A PNG image whose offset is wrong or whose header is not one is left out: the largest bitmap shows.
    QByteArray badOffset = depths;
    Poke32(badOffset, png + 12, 10);
    EXPECT_EQ(Probe<TIcon>(badOffset).Size, QSize(40, 40));
    EXPECT_TRUE(Agrees<TIcon>(badOffset));
    QByteArray badPng = depths;
    badPng[int(U32(depths, png + 12)) + 12] = 'X'; // IHDR
    EXPECT_TRUE(Agrees<TIcon>(badPng));
    EXPECT_EQ(Probe<TIcon>(badPng).Size, QSize(40, 40));
    // The largest bitmap with a header the decoder refuses: the next one down.
    QByteArray badBitmap = badPng;
    Poke16(badBitmap, int(U32(depths, 6 + 3 * 16 + 12)) + 14, 7); // bit count of the 40 x 40 image
    EXPECT_EQ(Probe<TIcon>(badBitmap).Size, QSize(32, 32));
    EXPECT_TRUE(Agrees<TIcon>(badBitmap));
    // No image reads: the first one's reason.
    QByteArray none = depths;
    for (int i = 0; i < 5; ++i) Poke32(none, 6 + i * 16 + 12, 0);
    EXPECT_EQ(ProbeError<TIcon>(none), QStringLiteral("Invalid offset or size of image 1"));
    EXPECT_TRUE(Agrees<TIcon>(none));
    // The directory.
    EXPECT_EQ(ProbeError<TIcon>(depths.left(5)), QStringLiteral("The icon directory is incomplete"));
    EXPECT_EQ(ProbeError<TIcon>(depths.left(6 + 16 * 5 - 1)), QStringLiteral("The icon directory is incomplete"));
    QByteArray cursor = depths;
    Poke16(cursor, 2, 2);
    EXPECT_EQ(ProbeError<TIcon>(cursor), QStringLiteral("Not a Windows icon file"));
    QByteArray empty = depths;
    Poke16(empty, 4, 0);
    EXPECT_EQ(ProbeError<TIcon>(empty), QStringLiteral("The file holds no images"));
    // Within a pixel limit the images that fit are read, until together they reach it.
    for (qint64 limit : {300, 1000, 1700, 2000, 2500, 5000}) {
        const TPixelLimit guard(limit);
        EXPECT_TRUE(Agrees<TIcon>(depths)) << limit;
    }
    {
        // 16, 24 and 32 pixels square leave 144 pixels: the 40 x 40 image is read, the PNG image not.
        const TPixelLimit guard(2000);
        EXPECT_EQ(Probe<TIcon>(depths).Size, QSize(40, 40));
    }
}

// SGI: the header, the run-length row tables, and a row that lies in the file.
TEST(ProbeHeaderTest, SgiHeadersAndRows) {
    const QByteArray verbatim = Fixture("sgi/imverbatim.sgi"), rle = Fixture("sgi/imrle.sgi");
    QByteArray badMagic = verbatim;
    Poke16BE(badMagic, 0, 475);
    EXPECT_EQ(ProbeError<TSGIGraphic>(badMagic), QStringLiteral("The SGI file header is not valid"));
    EXPECT_EQ(ProbeError<TSGIGraphic>(verbatim.left(511)), QStringLiteral("The SGI file header is not valid"));
    QByteArray noChannels = verbatim;
    Poke16BE(noChannels, 10, 0);
    EXPECT_EQ(ProbeError<TSGIGraphic>(noChannels), QStringLiteral("The SGI file has no channels"));
    EXPECT_EQ(ProbeError<TSGIGraphic>(verbatim.left(512)), QStringLiteral("The SGI file holds no pixel data"));
    EXPECT_EQ(ProbeError<TSGIGraphic>(rle.left(600)), QStringLiteral("The SGI row tables are incomplete"));
    // Run-length rows whose first rows point past the file: a later row that lies in it is enough.
    const int height = (uchar(rle[8]) << 8) | uchar(rle[9]);
    QByteArray firstRowsGone = rle;
    for (int y = 0; y < height - 1; ++y) Poke32BE(firstRowsGone, 512 + y * 4, 0x7FFFFFFF);
    EXPECT_TRUE(Agrees<TSGIGraphic>(firstRowsGone));
    QByteArray allGone = firstRowsGone;
    Poke32BE(allGone, 512 + (height - 1) * 4, 0x7FFFFFFF);
    EXPECT_EQ(ProbeError<TSGIGraphic>(allGone), QStringLiteral("The SGI file holds no pixel data"));
}

// RLA: a scanline that reads is needed, as the decoder needs one; the first sound one is enough.
TEST(ProbeHeaderTest, RlaNeedsAScanlineThatReads) {
    const QByteArray rla = Fixture("rla/packedrgb.rla");
    const int height = ((uchar(rla[14]) << 8) | uchar(rla[15])) - ((uchar(rla[12]) << 8) | uchar(rla[13])) + 1;
    ASSERT_GT(height, 1);
    QByteArray firstGone = rla;
    Poke32BE(firstGone, 740, 0xFFFFFFF0u);
    EXPECT_TRUE(Agrees<TRLAGraphic>(firstGone));
    QByteArray damaged = rla;
    // Every scanline's first channel claims more bytes than the file has.
    for (int y = 0; y < height; ++y) Poke16BE(damaged, int(U32BE(rla, 740 + 4 * y)), 0xFFFF);
    EXPECT_EQ(ProbeError<TRLAGraphic>(damaged), QStringLiteral("The RLA file holds no pixel data"));
    EXPECT_TRUE(Agrees<TRLAGraphic>(damaged));
    EXPECT_EQ(ProbeError<TRLAGraphic>(rla.left(739)), QStringLiteral("The RLA file header is not valid"));
    EXPECT_EQ(ProbeError<TRLAGraphic>(rla.left(741)), QStringLiteral("The RLA scanline table is incomplete"));
}

// Dr. Halo and Autodesk pictures: their short headers and the first line or row of pixels.
TEST(ProbeHeaderTest, CutAndAutodeskHeaders) {
    const QByteArray cut = Fixture("cut/halo.cut");
    EXPECT_EQ(ProbeError<TCUTGraphic>(cut.left(5)), QStringLiteral("The CUT file header is incomplete"));
    EXPECT_EQ(ProbeError<TCUTGraphic>(cut.left(6)), QStringLiteral("The CUT file holds no pixel data"));
    QByteArray noWidth = cut;
    Poke16(noWidth, 0, 0);
    EXPECT_EQ(ProbeError<TCUTGraphic>(noWidth), QStringLiteral("Invalid picture size 0 x %1").arg(U16(cut, 2)));
    const int firstLine = U16(cut, 6);
    EXPECT_EQ(ProbeError<TCUTGraphic>(cut.left(8 + firstLine - 1)), QStringLiteral("The CUT file holds no pixel data"));
    EXPECT_EQ(Probe<TCUTGraphic>(cut.left(8 + firstLine)).Size, QSize(U16(cut, 0), U16(cut, 2)));

    const QByteArray cel = Fixture("cel/animator.cel");
    QByteArray badMagic = cel;
    Poke16(badMagic, 0, 0x9118);
    EXPECT_EQ(ProbeError<TAutodeskGraphic>(badMagic), QStringLiteral("The Autodesk file header is not valid"));
    EXPECT_EQ(ProbeError<TAutodeskGraphic>(cel.left(32 + 767)), QStringLiteral("The Autodesk file palette is incomplete"));
    EXPECT_EQ(ProbeError<TAutodeskGraphic>(cel.left(32 + 768 + U16(cel, 2) - 1)),
              QStringLiteral("The Autodesk file holds no pixel data"));
    EXPECT_EQ(Probe<TAutodeskGraphic>(cel.left(32 + 768 + U16(cel, 2))).Size, QSize(U16(cel, 2), U16(cel, 4)));
}

// Paint Shop Pro: the image attributes among the top-level blocks, and a bank to draw from.
TEST(ProbeHeaderTest, PspAttributesAndBanks) {
    for (const char* name : {"psp/v5raw.psp", "psp/v6rle.psp", "psp/v6lz77.psp", "psp/v6indexed.psp", "psp/v6composite.psp"})
        EXPECT_TRUE(Agrees<TPSPGraphic>(Fixture(name))) << name;
    const QByteArray file = Fixture("psp/v6rle.psp");
    QByteArray badSignature = file;
    badSignature[0] = 'p';
    EXPECT_EQ(ProbeError<TPSPGraphic>(badSignature), QStringLiteral("Not a Paint Shop Pro file"));
    EXPECT_EQ(ProbeError<TPSPGraphic>(file.left(35)), QStringLiteral("Not a Paint Shop Pro file"));
    EXPECT_EQ(ProbeError<TPSPGraphic>(file.left(36)), QStringLiteral("The PSP file has no image attributes"));
    const QByteArray only = PspAttributesOnly(20, 10, 2);
    EXPECT_EQ(ProbeError<TPSPGraphic>(only), QStringLiteral("The PSP file holds no raster layer"));
    EXPECT_TRUE(Agrees<TPSPGraphic>(only));
    EXPECT_EQ(ProbeError<TPSPGraphic>(PspAttributesOnly(20, 10, 3)), QStringLiteral("Unsupported PSP compression 3"));
    EXPECT_TRUE(Agrees<TPSPGraphic>(PspAttributesOnly(20, 10, 3)));
    EXPECT_EQ(ProbeError<TPSPGraphic>(PspAttributesOnly(0, 10, 0)), QStringLiteral("Invalid picture size 0 x 10"));
    // Attributes cut short inside their block.
    QByteArray cut = only;
    Poke32(cut, 36 + 6, 12);
    EXPECT_EQ(ProbeError<TPSPGraphic>(cut.left(36 + 10 + 12)), QStringLiteral("The PSP image attributes are incomplete"));
    EXPECT_TRUE(Agrees<TPSPGraphic>(cut.left(36 + 10 + 12)));
}

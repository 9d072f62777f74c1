#include "TestUtil.h"

#include "codec/Services.h"
#include "formats/raster/PCD.h"

#include <QBuffer>

namespace {
class TPhotoSize : public IViewerServices {
public:
    int Size = 2;
    int GetPhotoSize() const override { return Size; }
};

// A synthetic image pack: every resolution filled with luminance `y` (row-dependent when ramp is set)
// and the given chrominance, with the orientation byte.
QByteArray MakePack(int y, int c1, int c2, int orientation = 0, bool ramp = false) {
    QByteArray pack(0x30000 + 768 * 512 * 3 / 2, '\0');
    pack[0x0E02] = char(orientation);
    for (int index = 0; index < 3; ++index) {
        const QSize size = TPCDImage::ResolutionSize(index);
        const int w = size.width();
        qint64 pos = TPCDImage::ResolutionOffset(index);
        for (int k = 0; k < size.height() / 2; ++k) {
            for (int row = 0; row < 2; ++row)
                for (int x = 0; x < w; ++x) pack[pos++] = char(ramp ? std::min(255, (2 * k + row) * 2) : y);
            for (int x = 0; x < w / 2; ++x) pack[pos++] = char(c1);
            for (int x = 0; x < w / 2; ++x) pack[pos++] = char(c2);
        }
    }
    return pack;
}

QString LoadInto(TPCDImage& g, const QByteArray& bytes) {
    QByteArray copy = bytes;
    QBuffer b(&copy);
    b.open(QIODevice::ReadOnly);
    try {
        g.LoadFromStream(b);
    } catch (const Exception& e) {
        return e.Message();
    }
    return QString();
}

class PcdTest : public ::testing::Test {
protected:
    TPhotoSize Services;
    void SetUp() override { SetViewerServices(&Services); }
    void TearDown() override { SetViewerServices(nullptr); }
};
} // namespace

TEST_F(PcdTest, ResolutionFollowsTheSettingClamped) {
    const QByteArray pack = MakePack(100, 156, 137);
    const std::pair<int, QSize> cases[] = {{0, QSize(192, 128)}, {1, QSize(384, 256)}, {2, QSize(768, 512)},
                                           {-4, QSize(192, 128)}, {9, QSize(768, 512)}};
    for (const auto& [setting, size] : cases) {
        Services.Size = setting;
        TPCDImage g;
        ASSERT_EQ(LoadInto(g, pack), QString()) << setting;
        EXPECT_EQ(g.Image().size(), size) << setting;
    }
}

TEST_F(PcdTest, ColourConversionRoundsAndClamps) {
    EXPECT_EQ(TPCDImage::YccToRgb(100, 156, 137), qRgb(141, 141, 141)); // 140.7488
    EXPECT_EQ(TPCDImage::YccToRgb(182, 156, 137), qRgb(255, 255, 255)); // 256.16 clamped
    EXPECT_EQ(TPCDImage::YccToRgb(0, 0, 0), qRgb(0, 154, 0));           // G = 61.685 + 92.327
    EXPECT_EQ(TPCDImage::YccToRgb(50, 200, 100), qRgb(21, 78, 160));  // 21.42, 77.91, 159.96
    Services.Size = 0;
    TPCDImage g;
    ASSERT_EQ(LoadInto(g, MakePack(182, 156, 137)), QString());
    EXPECT_EQ(g.Image().pixel(191, 127), qRgb(255, 255, 255));
}

TEST_F(PcdTest, PortraitPacksStandUpright) {
    Services.Size = 0;
    TPCDImage flat, turned;
    ASSERT_EQ(LoadInto(flat, MakePack(0, 156, 137, 0, true)), QString());
    ASSERT_EQ(LoadInto(turned, MakePack(0, 156, 137, 1, true)), QString());
    EXPECT_EQ(turned.Image().size(), QSize(128, 192));
    // Turned a quarter counter-clockwise: the stored top row becomes the left column.
    EXPECT_EQ(turned.Image().pixel(0, 0), flat.Image().pixel(191, 0));
    EXPECT_EQ(turned.Image().pixel(127, 0), flat.Image().pixel(191, 127));
    TPCDImage upside;
    ASSERT_EQ(LoadInto(upside, MakePack(0, 156, 137, 2, true)), QString());
    EXPECT_EQ(upside.Image().pixel(0, 0), flat.Image().pixel(191, 127));
}

TEST_F(PcdTest, ShortFilesAndSaving) {
    TPCDImage g;
    EXPECT_EQ(LoadInto(g, QByteArray(0x30000 + 100, '\0')), QStringLiteral("Stream read error"));
    EXPECT_TRUE(g.IsEmpty());
    Services.Size = 0;
    ASSERT_EQ(LoadInto(g, MakePack(10, 156, 137)), QString());
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    g.SaveToStream(out);
    EXPECT_EQ(out.data().size(), 0);
}

// The probe lumenor-cli answers `info` with before it loads its commands: it never says anything the
// full probe would not, and it steps aside for every file another format could claim.
#include "TestUtil.h"

#include "codec/Limits.h"
#include "codec/Probe.h"
#include "codec/QuickProbe.h"
#include "codec/Registry.h"

#include <QBuffer>
#include <QDirIterator>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>

namespace {

QString Describe(const QString& className, const TGraphicInfo& info) {
    return QStringLiteral("%1 %2x%3 pages=%4 frames=%5")
        .arg(className)
        .arg(info.Width)
        .arg(info.Height)
        .arg(info.Pages)
        .arg(info.Frames);
}

QStringList Fixtures() {
    QStringList paths;
    QDirIterator it(DataPath(QString()), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString ext = QFileInfo(path).suffix().toLower();
        if (ext != QLatin1String("py") && ext != QLatin1String("md")) paths << path;
    }
    return paths;
}

TGraphicClass ClassByContent(const QByteArray& bytes) {
    QByteArray data = bytes;
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    return CentralFormats().FindClassByContent(buffer);
}

// A GIF that is also a valid RLA header: the GIF's 256-colour palette lies where RLA keeps its fields and
// its table of rows, so the content tests (which come before the extension) take it for RLA.
QByteArray GifThatRlaClaims() {
    QByteArray gif("GIF89a");
    Put16(gif, 1);          // width
    Put16(gif, 128);        // height; as RLA's left edge (big-endian) 0x8000 = -32768
    gif.append('\xF7');     // global palette of 256 colours; with the next byte RLA's right edge, -2304
    gif.append('\0');       // background
    gif.append('\0');       // aspect; with the palette's first byte RLA's bottom edge, 0
    QByteArray palette(768, '\0');
    palette[20 - 13 + 1] = 3;          // RLA channels (offset 20): 3; storage (18), mattes, aux: 0
    palette[740 - 13 + 2] = 0x03;      // RLA's one row starts at 768, inside the file
    gif += palette;
    gif += QByteArray("\x2C\0\0\0\0\x01\0\x80\0\0", 10); // the picture: 1 x 128, no palette of its own
    gif += QByteArray("\x02\x02\x4C\x01\0", 5);          // code size, one data block, its end
    gif += '\x3B';
    return gif;
}

} // namespace

// Every fixture: what the quick probe answers is what the full probe answers, and the common formats'
// fixtures are answered.
TEST(QuickProbeTest, NeverContradictsTheFullProbe) {
    QMap<QString, int> answered;
    for (const QString& path : Fixtures()) {
        const std::optional<TQuickProbe> quick = QuickProbeFile(path);
        if (!quick) continue;
        try {
            const TProbe full = ProbeFile(path);
            EXPECT_EQ(Describe(quick->ClassName, quick->Info), Describe(full.Class->ClassName, full.Info)) << path.toStdString();
        } catch (const Exception& e) {
            ADD_FAILURE() << path.toStdString() << ": the quick probe answered "
                          << Describe(quick->ClassName, quick->Info).toStdString() << ", the full one raised "
                          << e.Message().toStdString();
        }
        ++answered[quick->ClassName];
    }
    EXPECT_GE(answered.value(QStringLiteral("TJpegGraphic")), 8);
    EXPECT_GE(answered.value(QStringLiteral("TPngGraphic")), 20);
    EXPECT_GE(answered.value(QStringLiteral("TGIFImage")), 5);
    EXPECT_EQ(answered.size(), 3) << "only JPEG, PNG and GIF are read quickly";
}

// The quick probe steps aside wherever the full one would raise or would choose another class: the
// messages then come from the full probe.
TEST(QuickProbeTest, StepsAsideForWhatItCannotBeSureOf) {
    QTemporaryDir dir;
    const auto copy = [&](const QString& fixture, const QString& name) {
        const QString path = dir.filePath(name);
        WriteFile(path, ReadFile(DataPath(fixture)));
        return path;
    };
    EXPECT_TRUE(QuickProbeFile(copy(QStringLiteral("jpeg/colour.jpg"), QStringLiteral("a.jpeg"))));
    // Another format under a common format's extension.
    EXPECT_FALSE(QuickProbeFile(copy(QStringLiteral("png/rgb8.png"), QStringLiteral("b.jpg"))));
    EXPECT_FALSE(QuickProbeFile(copy(QStringLiteral("psd/im16.psd"), QStringLiteral("c.png"))));
    // A common format under an extension it does not read: the registry decides.
    EXPECT_FALSE(QuickProbeFile(copy(QStringLiteral("jpeg/colour.jpg"), QStringLiteral("d.bmp"))));
    EXPECT_FALSE(QuickProbeFile(copy(QStringLiteral("jpeg/colour.jpg"), QStringLiteral("noextension"))));
    EXPECT_FALSE(QuickProbeFile(dir.filePath(QStringLiteral("missing.jpg"))));
    // A header cut short, and a picture over the pixel limit.
    const QString cut = dir.filePath(QStringLiteral("cut.jpg"));
    WriteFile(cut, ReadFile(DataPath(QStringLiteral("jpeg/colour.jpg"))).left(40));
    EXPECT_FALSE(QuickProbeFile(cut));
    {
        const qint64 old = PixelLimit();
        SetPixelLimit(64 * 47);
        EXPECT_FALSE(QuickProbeFile(DataPath(QStringLiteral("jpeg/colour.jpg"))));
        SetPixelLimit(64 * 48);
        EXPECT_TRUE(QuickProbeFile(DataPath(QStringLiteral("jpeg/colour.jpg"))));
        SetPixelLimit(old);
    }
    // A valid GIF that a content test claims first.
    const QByteArray gif = GifThatRlaClaims();
    const QString gifPath = dir.filePath(QStringLiteral("rla.gif"));
    WriteFile(gifPath, gif);
    ASSERT_NE(ClassByContent(gif), nullptr);
    EXPECT_EQ(ClassByContent(gif)->ClassName, QStringLiteral("TRLAGraphic"));
    EXPECT_EQ(CreateGraphicFor(gifPath)->ClassName(), QStringLiteral("TRLAGraphic"));
    EXPECT_FALSE(QuickProbeFile(gifPath));
    // Without the row table RLA refuses it, and the quick probe still steps aside (it checks only the
    // header's fields), which costs time but never a wrong answer.
    QByteArray plain = gif;
    plain[740 + 2] = 0;
    ASSERT_EQ(ClassByContent(plain), nullptr);
    WriteFile(gifPath, plain);
    EXPECT_FALSE(QuickProbeFile(gifPath));
}

// Whatever a content test accepts, ContentTestMayClaim says may be claimed: checked on every fixture and
// on each of their first bytes changed, so that every field each test looks at is varied.
TEST(QuickProbeTest, EveryContentTestNeedsWhatItChecks) {
    QStringList testable;
    for (const auto& entry : CentralFormats().Classes())
        if (entry.GraphicClass->IsContentTestable()) testable << entry.GraphicClass->ClassName;
    QStringList known = ContentTestedClassNames();
    testable.sort();
    known.sort();
    EXPECT_EQ(testable, known) << "a content test was added or removed: ContentTestMayClaim must know it";

    // The fixtures, and the first bytes of the formats whose files the tree does not hold.
    QList<QByteArray> inputs;
    for (const QString& path : Fixtures()) {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
        inputs << file.read(256 * 1024);
    }
    const auto padded = [](QByteArray head) { return head + QByteArray(64, '\0'); };
    inputs << padded(QByteArray("RIFF\x40\0\0\0WEBPVP8 ", 16)) << padded(QByteArray("\0\0\0\x18" "ftypavif", 12))
           << padded(QByteArray("\0\0\0\x18" "ftypheic", 12)) << padded(QByteArray("\0\0\0\x18" "ftypcrx ", 12))
           << padded(QByteArray("\xFF\x0A\xFA\x7F", 4)) << padded(QByteArray("\0\0\0\x0CJXL \r\n\x87\n", 12))
           << padded(QByteArray("\x76\x2F\x31\x01\x02\0\0\0", 8)) << padded("FUJIFILMCCD-RAW 0201")
           << padded("IIRO\x08\0\0\0") << padded(QByteArray("IIU\0\x08\0\0\0", 8))
           << padded(QByteArray("MM\0*\0\0\0\x08\0\x01\xC6\x12\0\x01\0\0\0\x04\x01\x04\0\0", 22))
           << padded(QByteArray("II*\0\x08\0\0\0\x01\0\x12\xC6\x01\0\x04\0\0\0\x01\x04\0\0", 22));

    QSet<QString> claimed;
    int checked = 0;
    for (const QByteArray& bytes : inputs) {
        const bool original = ClassByContent(bytes) != nullptr;
        for (int at = -1; at < std::min<int>(kQuickHeadSize, bytes.size()); ++at) {
            for (int value : {0x00, 0x01, 0x03, 0x80, 0xFF, -1}) {
                QByteArray mutated = bytes;
                if (at >= 0) mutated[at] = char(value < 0 ? uchar(mutated[at]) ^ 0x10 : value);
                if (at >= 0 && !original && value != 0x00 && value != -1) continue; // keeps the run short
                const TGraphicClass cls = ClassByContent(mutated);
                if (!cls) continue;
                claimed.insert(cls->ClassName);
                ++checked;
                EXPECT_TRUE(ContentTestMayClaim(mutated.left(kQuickHeadSize)))
                    << cls->ClassName.toStdString() << " claims " << bytes.left(16).toHex().toStdString() << " changed at " << at;
                if (at < 0) break;
            }
        }
    }
    EXPECT_GT(checked, 1000);
    for (const QString& cls : known) EXPECT_TRUE(claimed.contains(cls)) << cls.toStdString() << " was never tried";
}

// The class of an extension as the tables give it is the registry's, for every extension of the tables.
TEST(QuickProbeTest, TheTablesNameTheRegistrysClass) {
    int compared = 0;
    for (const auto* table : {&StartupTable(), &ModernFormatTable()}) {
        for (const TStartupFormat& row : *table) {
            const QString ext = QString::fromLatin1(row.Extension);
            const TGraphicClass cls = GraphicClassByExtension(ext);
            if (!cls) continue; // a class not built in: its files are not opened at all
            EXPECT_EQ(FormatTableClassOf(ext), cls->ClassName) << row.Extension;
            EXPECT_EQ(FormatTableClassOf(QLatin1Char('.') + ext.toLower()), cls->ClassName) << row.Extension;
            ++compared;
        }
    }
    EXPECT_GT(compared, 60);
    EXPECT_EQ(FormatTableClassOf(QStringLiteral("nope")), QString());
    EXPECT_EQ(FormatTableClassOf(QString()), QString());
}

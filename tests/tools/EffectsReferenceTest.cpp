// Every transition against a second drawing of it, written apart in Python with numpy
// (tests/tools/effects_reference.py), pixel for pixel: all effects, several progress values and whole
// runs, on odd sizes. The reference needs /usr/bin/python3 with numpy (python3-numpy); without them the
// test fails.
#include "TestUtil.h"

#include "tools/Effects.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>

#include <vector>

namespace {

struct TCase {
    int W, H, EffectNo, Step;
    quint64 Seed;
    std::vector<int> Progress;
};

// The same pictures as the other effect tests: every pixel of the new picture unique, the old one
// different from it everywhere.
QImage NewPicture(int w, int h) {
    QImage image(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uchar* p = image.scanLine(y) + 3 * x;
            p[0] = uchar(x);
            p[1] = uchar(y);
            p[2] = uchar(x * 31 + y * 17);
        }
    return image;
}

QImage OldPicture(int w, int h) {
    QImage image(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uchar* p = image.scanLine(y) + 3 * x;
            p[0] = uchar(255 - x);
            p[1] = uchar(y * 3 + 101);
            p[2] = uchar(200 ^ x);
        }
    return image;
}

QByteArray Raw(const QImage& image) {
    QByteArray bytes;
    for (int y = 0; y < image.height(); ++y)
        bytes.append(reinterpret_cast<const char*>(image.constScanLine(y)), image.width() * 3);
    return bytes;
}

QString SizeName(int w, int h) {
    return QStringLiteral("%1x%2").arg(w).arg(h);
}

std::vector<TCase> Cases() {
    std::vector<TCase> cases;
    std::vector<int> numbers;
    for (int n = 0; n <= kEffectCount + 1; ++n)
        numbers.push_back(n);
    numbers.push_back(255);
    for (int n : numbers) {
        for (int p : {0, 4, 48, 52, 96, 100})
            cases.push_back({201, 97, n, 4, 7, {p}});
        for (int p : {8, 52})
            cases.push_back({97, 201, n, 4, 7, {p}});
        for (int p : {0, 4, 52, 100}) {
            cases.push_back({3, 2, n, 4, 7, {p}});
            cases.push_back({1, 1, n, 4, 7, {p}});
        }
        // Runs on one picture, as the slide show draws them (fades compound, random numbers follow on).
        std::vector<int> run;
        for (int p = 0; p <= 48; p += 4)
            run.push_back(p);
        cases.push_back({201, 97, n, 4, 11, run});
        cases.push_back({13, 31, n, 4, 11, run});
        std::vector<int> ten;
        for (int p = 10; p <= 90; p += 10)
            ten.push_back(p);
        cases.push_back({64, 50, n, 10, 3, ten});
    }
    return cases;
}

} // namespace

TEST(EffectsReference, EveryEffectMatchesTheIndependentDrawing) {
    const QString script =
        QDir(DataPath(QStringLiteral(".."))).filePath(QStringLiteral("tools/effects_reference.py"));
    ASSERT_TRUE(QFile::exists(script)) << script.toStdString();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::vector<TCase> cases = Cases();

    QByteArray jobs;
    QSet<QString> written;
    for (const TCase& c : cases) {
        const QString size = SizeName(c.W, c.H);
        const QString src = dir.filePath(QStringLiteral("new_") + size),
                      dst = dir.filePath(QStringLiteral("old_") + size);
        if (!written.contains(size)) {
            WriteFile(src, Raw(NewPicture(c.W, c.H)));
            WriteFile(dst, Raw(OldPicture(c.W, c.H)));
            written.insert(size);
        }
        QStringList steps;
        for (int p : c.Progress)
            steps << QString::number(p);
        jobs += QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8\n")
                    .arg(c.W)
                    .arg(c.H)
                    .arg(src, dst)
                    .arg(c.EffectNo)
                    .arg(c.Step)
                    .arg(c.Seed)
                    .arg(steps.join(QLatin1Char(',')))
                    .toUtf8();
    }
    const QString jobFile = dir.filePath(QStringLiteral("jobs")),
                  outFile = dir.filePath(QStringLiteral("out"));
    WriteFile(jobFile, jobs);

    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {script, jobFile, outFile});
    ASSERT_TRUE(python.waitForStarted()) << "/usr/bin/python3 is needed (with python3-numpy)";
    ASSERT_TRUE(python.waitForFinished(600000));
    ASSERT_EQ(python.exitStatus(), QProcess::NormalExit);
    ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    const QByteArray expected = ReadFile(outFile);

    qsizetype at = 0;
    int failures = 0;
    for (const TCase& c : cases) {
        const qsizetype bytes = qsizetype(c.W) * c.H * 3;
        ASSERT_LE(at + bytes, expected.size()) << "the reference wrote too little";
        const QByteArray want = expected.mid(at, bytes);
        at += bytes;
        // Drawn in both pixel formats the effects work in.
        for (QImage::Format format : {QImage::Format_RGB888, QImage::Format_RGB32}) {
            const QImage source = NewPicture(c.W, c.H).convertToFormat(format);
            QImage target = OldPicture(c.W, c.H).convertToFormat(format);
            TEffectRandom random(c.Seed);
            for (int p : c.Progress)
                DrawEffect(TEffectView{}, c.EffectNo, source, target, p, c.Step, random);
            const QByteArray got = Raw(target.convertToFormat(QImage::Format_RGB888));
            if (got == want) continue;
            int differing = 0, first = -1;
            for (qsizetype i = 0; i < bytes; i += 3)
                if (got.mid(i, 3) != want.mid(i, 3)) {
                    if (first < 0) first = int(i / 3);
                    ++differing;
                }
            ADD_FAILURE() << "effect number " << c.EffectNo << " on " << c.W << 'x' << c.H << " (step "
                          << c.Step << ", " << (format == QImage::Format_RGB888 ? "24" : "32")
                          << "-bit) after progress "
                          << QStringList([&] {
                                 QStringList l;
                                 for (int p : c.Progress)
                                     l << QString::number(p);
                                 return l;
                             }())
                                 .join(QLatin1Char(','))
                                 .toStdString()
                          << ": " << differing << " pixels differ, the first at (" << first % c.W << ", "
                          << first / c.W << ")";
            if (++failures >= 25) FAIL() << "too many differences";
            break;
        }
    }
    EXPECT_EQ(at, expected.size());
}

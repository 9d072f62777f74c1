// Helpers shared by the tests.
#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>

// Readable failure messages for Qt values.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QByteArray& b, std::ostream* os) {
    *os << (b.size() <= 64 ? b.toHex().toStdString() : b.left(64).toHex().toStdString() + "...") << " (" << b.size() << " bytes)";
}
inline void PrintTo(const QSize& s, std::ostream* os) { *os << s.width() << "x" << s.height(); }

// A graphic of class T read from the bytes (through a stream, as the viewer reads).
template <class T> std::unique_ptr<T> LoadGraphic(const QByteArray& bytes) {
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    auto g = std::make_unique<T>();
    g->LoadFromStream(buffer);
    return g;
}

// Path of a fixture below tests/data.
QString DataPath(const QString& relative);
QByteArray ReadFile(const QString& path);
void WriteFile(const QString& path, const QByteArray& bytes);

// The mean difference of the colour channels, in levels (255 when the sizes differ).
double MeanError(const QImage& a, const QImage& b);

// Pixels compared as 8-bit RGBA; reports the first difference beyond tolerance.
::testing::AssertionResult SamePixels(const QImage& actual, const QImage& expected, int tolerance = 0);

// A picture decoded from data cut short, against the decoding of the whole data: the same size, the
// rows that arrived as in the whole picture and forming one block from the top (fromTop) or from the
// bottom, every other row all background (transparent when the whole picture has alpha, else white).
// Up to `partial` rows just past the block may be neither (a row that was being decoded when the data
// ended). The number of rows that arrived goes to *arrived.
::testing::AssertionResult ArrivedRowsMatch(const QImage& part, const QImage& whole, bool fromTop,
                                            int* arrived = nullptr, int partial = 0);

// Runs lumenor-cli with the arguments; returns the exit status and fills stdout/stderr.
int RunCli(const QStringList& args, QString* out = nullptr, QString* err = nullptr);

// Runs an independent tool (ffprobe, ImageMagick, ...); true when it ran and exited with 0. Its standard
// output goes to out; a failure is reported as a test failure with the tool's standard error.
bool RunTool(const QString& program, const QStringList& args, QByteArray* out = nullptr);

// What a graphic writes to a stream.
QByteArray Save(const class TGraphic& g);

// Little-endian fields of hand-built files.
inline quint16 U16(const QByteArray& b, int pos) { return quint16(uchar(b[pos]) | (uchar(b[pos + 1]) << 8)); }
inline quint32 U32(const QByteArray& b, int pos) { return quint32(U16(b, pos)) | (quint32(U16(b, pos + 2)) << 16); }
inline void Put16(QByteArray& b, quint32 v) { b.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF)); }
inline void Put32(QByteArray& b, quint32 v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

// A deterministic test picture: gradients with a few sharp edges.
QImage MakeTestImage(int width, int height, bool alpha = false);

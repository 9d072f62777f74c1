// Helpers of the raster codec tests: load a fixture or bytes with one graphic class, and the reference
// PNG that an independent tool decoded from the same file.
#pragma once

#include "TestUtil.h"

#include "codec/DibGraphic.h"

#include <QBuffer>
#include <QFileInfo>

#include <memory>

template <class T> QImage LoadFile(const QString& path) {
    T graphic;
    graphic.LoadFromFileName(path);
    return graphic.Image();
}

template <class T> QImage LoadBytes(const QByteArray& bytes, int page = 1) {
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    T graphic;
    graphic.SetPageIndex(page);
    graphic.LoadFromStream(buffer);
    return graphic.Image();
}

// The message of the EInvalidGraphic that loading bytes raises ("" when it loads).
template <class T> QString LoadError(const QByteArray& bytes) {
    try {
        LoadBytes<T>(bytes);
    } catch (const EInvalidGraphic& e) {
        return e.Message();
    }
    return QString();
}

// The PNG beside a fixture (same base name), decoded by Qt.
inline QImage ReferenceFor(const QString& fixture) {
    const QFileInfo info(fixture);
    const QImage image(info.path() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral(".png"));
    EXPECT_FALSE(image.isNull()) << "no reference for " << fixture.toStdString();
    return image;
}

// Saves with a class and the given options, returns the bytes.
template <class T> QByteArray SaveBytes(const QImage& image, const QList<QPair<QString, QString>>& options = {}) {
    T graphic;
    graphic.SetImage(image);
    for (const auto& [key, value] : options) EXPECT_TRUE(graphic.SetSaveOption(key, value));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    graphic.SaveToStream(buffer);
    return bytes;
}

// Checks that a content test accepts or rejects and leaves the stream where it was.
template <class T> bool Accepts(const QByteArray& bytes, qint64 at = 0) {
    QByteArray copy = QByteArray(int(at), 'x') + bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    buffer.seek(at);
    const bool accepted = T::AcceptsContent(buffer);
    EXPECT_EQ(buffer.pos(), at);
    return accepted;
}

// The photo-like test pictures the benchmarks share, and the folder of JPEGs made from them.
#pragma once

#include "codec/Jpeg.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstdio>

// Gradients, waves, hard-edged patches and noise from a seeded generator: compresses like a photo.
inline QImage MakePhoto(int w, int h, quint32 seed) {
    QImage image(w, h, QImage::Format_RGB32);
    const double phase = (seed % 97) * 0.1;
    for (int y = 0; y < h; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        const double fy = double(y) / h;
        const double sy = std::sin(fy * 7.0 + phase) * 3.0;
        for (int x = 0; x < w; ++x) {
            const double fx = double(x) / w;
            seed = seed * 1664525u + 1013904223u;
            const int noise = int((seed >> 24) % 13) - 6;
            const double wave = std::sin(fx * 23.0 + sy) * 40.0;
            int r = int(70 + 120 * fx + wave) + noise;
            int g = int(60 + 150 * fy - wave * 0.5) + noise;
            int b = int(150 + 60 * std::sin((fx + fy) * 9.0 + phase)) + noise;
            if (((x / 160) + (y / 120)) % 7 == 0) r = 230 + noise, g = 220 + noise, b = 40 + noise;
            line[x] = qRgb(std::clamp(r, 0, 255), std::clamp(g, 0, 255), std::clamp(b, 0, 255));
        }
    }
    return image;
}

// Writes count photo-like 3000 x 2000 JPEGs (quality 90) named photo000.jpg, photo001.jpg, ... into
// folder with our JPEG writer, the i-th from the seed firstSeed + i, and returns their paths.
inline QStringList MakePhotoJpegs(const QString& folder, int count, quint32 firstSeed) {
    QDir().mkpath(folder);
    std::printf("making %d photo-like 3000 x 2000 JPEGs (quality 90)...\n", count);
    std::fflush(stdout);
    QStringList files;
    for (int i = 0; i < count; ++i) {
        TJpegGraphic writer;
        writer.SetImage(MakePhoto(3000, 2000, firstSeed + quint32(i)));
        writer.SetSaveOption(QStringLiteral("quality"), QStringLiteral("90"));
        files << QDir(folder).filePath(QStringLiteral("photo%1.jpg").arg(i, 3, 10, QLatin1Char('0')));
        writer.SaveToFileName(files.last());
    }
    return files;
}

// The bytes of the files directly in folder.
inline qint64 FolderSize(const QString& folder) {
    qint64 total = 0;
    for (const QFileInfo& f : QDir(folder).entryInfoList(QDir::Files)) total += f.size();
    return total;
}

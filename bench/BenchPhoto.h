// The photo-like test picture the thumbnail benchmarks share.
#pragma once

#include <QImage>

#include <algorithm>
#include <cmath>

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

// PCL/HP-RTL escape sequences, PJL lines and raster pictures inside plot files.
#include "formats/hpgl/hpgl_2.h"

#include "codec/Limits.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr double kDecipoint = 1.411; // plotter units per decipoint
constexpr int kMaxRasterWidth = 1 << 20;

inline bool IsUpper(int c) { return c >= 0x40 && c <= 0x5E; }
inline bool IsLower(int c) { return c >= 0x60 && c <= 0x7E; }

} // namespace

// ---------------------------------------------------------------------------------------------------
// Raster decoder

void THpRaster::Reset() {
    Width = Height = 0;
    Active = false;
    FImage.clear();
    FImage.shrink_to_fit();
    FSeed.clear();
    FBytesPerRow = 0;
    FRow = FRowsUsed = 0;
    FReady = FGrow = false;
}

bool THpRaster::Allocate(int width, int height) {
    FImage.clear();
    FSeed.clear();
    FReady = FGrow = false;
    FBytesPerRow = 0;
    if (width <= 0 || width > kMaxRasterWidth || height < 0) return false;
    const int bpr = (width + 7) / 8;
    if (qint64(bpr) * 8 > PixelLimit()) return false;
    if (height > 0) {
        if (qint64(bpr) * 8 * height > PixelLimit()) return false;
        FImage.assign(size_t(bpr) * size_t(height) + 8, 0);
    } else {
        FGrow = true;
    }
    FSeed.assign(size_t(bpr) + 8, 0);
    FBytesPerRow = bpr;
    FReady = true;
    return true;
}

void THpRaster::Begin() {
    FImage.clear();
    FSeed.clear();
    FReady = false;
    FRow = FRowsUsed = 0;
    if (Method > 3) {
        Active = true; // method 4 brings its own size
        return;
    }
    if (Width > 0 && Allocate(Width, Height)) Active = true;
}

uchar* THpRaster::Row(int index) {
    if (!FReady || index < 0) return nullptr;
    const size_t bpr = size_t(FBytesPerRow);
    if (!FGrow) return index < Height ? FImage.data() + size_t(index) * bpr : nullptr;
    if (qint64(index + 1) * FBytesPerRow * 8 > PixelLimit()) return nullptr;
    const size_t need = size_t(index + 1) * bpr;
    if (FImage.size() < need) {
        if (FImage.capacity() < need) FImage.reserve(std::max(need, FImage.capacity() * 2));
        FImage.resize(need, 0);
    }
    return FImage.data() + size_t(index) * bpr;
}

void THpRaster::DecodeUnencoded(const uchar* d, qint64 n, uchar* seed) {
    std::memset(seed, 0, size_t(FBytesPerRow));
    std::memcpy(seed, d, size_t(std::min<qint64>(n, FBytesPerRow)));
}

void THpRaster::DecodeRunLength(const uchar* d, qint64 n, uchar* seed) {
    std::memset(seed, 0, size_t(FBytesPerRow));
    if (n % 2) return;
    qint64 out = 0;
    for (qint64 i = 0; i + 1 < n && out < FBytesPerRow; i += 2) {
        const qint64 count = std::min<qint64>(qint64(d[i]) + 1, FBytesPerRow - out);
        std::memset(seed + out, d[i + 1], size_t(count));
        out += count;
    }
}

void THpRaster::DecodePackBits(const uchar* d, qint64 n, uchar* seed) {
    std::memset(seed, 0, size_t(FBytesPerRow));
    qint64 out = 0, i = 0;
    while (i < n && out < FBytesPerRow) {
        const int c = qint8(d[i++]);
        if (c >= 0) {
            const qint64 count = std::min<qint64>({qint64(c) + 1, n - i, FBytesPerRow - out});
            std::memcpy(seed + out, d + i, size_t(count));
            out += count;
            i += c + 1;
        } else if (c != -128) {
            if (i >= n) break;
            const qint64 count = std::min<qint64>(1 - c, FBytesPerRow - out);
            std::memset(seed + out, d[i++], size_t(count));
            out += count;
        }
    }
}

void THpRaster::DecodeDelta(const uchar* d, qint64 n, uchar* seed) {
    qint64 pos = 0, i = 0;
    while (i < n) {
        const uchar command = d[i++];
        qint64 offset = command & 0x1F;
        const int count = (command >> 5) + 1;
        if (offset == 31) {
            while (i < n) {
                const uchar more = d[i++];
                offset += more;
                if (more != 255) break;
            }
        }
        if (offset > FBytesPerRow) return;
        pos += offset;
        for (int k = 0; k < count && i < n; ++k, ++pos, ++i)
            if (pos < FBytesPerRow) seed[pos] = d[i];
        if (pos >= FBytesPerRow) {
            // nothing more fits in this row; the rest of the data is skipped
            return;
        }
    }
}

void THpRaster::DecodeBlock(const uchar* d, qint64 n) {
    if (n < 4) return;
    const quint32 width = (quint32(d[0]) << 24) | (quint32(d[1]) << 16) | (quint32(d[2]) << 8) | d[3];
    if (width == 0 || width > quint32(kMaxRasterWidth)) return;
    const qint64 bpr = (qint64(width) + 7) / 8;
    qint64 height = Height > 0 ? Height : (n - 4) / bpr;
    if (height <= 0 || height * bpr * 8 > PixelLimit()) return;
    const int savedHeight = Height;
    if (!Allocate(int(width), int(height))) {
        Height = savedHeight;
        return;
    }
    Width = int(width);
    Height = int(height);
    std::memcpy(FImage.data(), d + 4, size_t(std::min<qint64>(n - 4, bpr * height)));
    FRow = FRowsUsed = int(height);
}

void THpRaster::Transfer(const uchar* data, qint64 n) {
    if (n < 0) return;
    if (Method == 4) {
        DecodeBlock(data, n);
        return;
    }
    if (!FReady || Method < 0 || Method > 3) {
        if (FReady) ++FRow;
        return;
    }
    uchar* seed = FSeed.data();
    switch (Method) {
    case 0:
        if (n > 0) DecodeUnencoded(data, n, seed);
        break;
    case 1:
        if (n > 0) DecodeRunLength(data, n, seed);
        break;
    case 2: DecodePackBits(data, n, seed); break;
    case 3: DecodeDelta(data, n, seed); break;
    }
    if (uchar* row = Row(FRow)) std::memcpy(row, seed, size_t(FBytesPerRow));
    if (FRow < INT_MAX - 1) ++FRow;
    FRowsUsed = std::max(FRowsUsed, FRow);
}

void THpRaster::SkipRows(qint64 n) {
    if (!Active || n <= 0) return;
    if (!FSeed.empty()) std::memset(FSeed.data(), 0, FSeed.size());
    if (!FReady) return;
    const qint64 limit = Height > 0 && !FGrow ? Height : PixelLimit() / (qint64(FBytesPerRow) * 8);
    FRow = int(std::min<qint64>(qint64(FRow) + n, limit));
    if (FGrow && FRow > 0) Row(FRow - 1);
    FRowsUsed = std::max(FRowsUsed, FRow);
}

bool THpRaster::Finish(THpImageRec& image) {
    const int rows = FGrow ? FRowsUsed : Height;
    const int bpr = FBytesPerRow;
    bool made = false;
    if (FReady && rows > 0 && bpr > 0) {
        try {
            QImage bits = NewImage(rows, qint64(bpr) * 8, QImage::Format_Mono);
            bits.setColorTable({qRgba(0, 0, 0, 255), qRgba(255, 255, 255, 0)});
            bits.fill(1);
            const int height = bpr * 8;
            for (int r = 0; r < rows; ++r) {
                const size_t at = size_t(r) * size_t(bpr);
                if (at + size_t(bpr) > FImage.size()) break; // rows never sent stay blank
                const uchar* src = FImage.data() + at;
                const uchar mask = uchar(0x80 >> (r & 7));
                for (int b = 0; b < bpr; ++b) {
                    const uchar v = src[b];
                    if (!v) continue;
                    for (int bit = 0; bit < 8; ++bit)
                        if (v & (0x80 >> bit)) bits.scanLine(height - 1 - (b * 8 + bit))[r >> 3] &= uchar(~mask);
                }
            }
            image.Width = rows;
            image.Height = height;
            image.Planes = 1;
            image.Bits = bits;
            made = true;
        } catch (const Exception&) {
            made = false; // larger than the pixel limit or out of memory: the picture is left out
        }
    }
    const int method = Method;
    Reset();
    Method = method;
    return made;
}

// ---------------------------------------------------------------------------------------------------
// Escapes

void THpglInterpreter::SkipData(qint64 n) {
    if (n <= 0) return;
    FPos += std::min(n, FSize - FPos);
}

void THpglInterpreter::RasterTransfer(qint64 n) {
    n = std::clamp<qint64>(n, 0, FSize - FPos);
    // Without an image-data configuration the rows are skipped and no picture is made.
    if (FConfigured && !FRaster.Active) FRaster.Begin();
    if (FConfigured && FRaster.Active) FRaster.Transfer(FData + FPos, n);
    FPos += n;
}

void THpglInterpreter::RasterEnd() {
    if (!FRaster.Active) return;
    THpImageRec image;
    const int rows = FRaster.Height > 0 ? FRaster.Height : FRaster.RowCount();
    if (FRaster.Finish(image)) {
        image.Resolution = FResolution > 0 ? int(FResolution) : 300;
        image.Position = Rotated(ClampCoord(FCursorY * FUnitsPerDot), ClampCoord(FCursorX * FUnitsPerDot));
        FList.AddElement(image);
    }
    FCursorY = std::min<qint64>(FCursorY + rows, kCursorLimit);
}

void THpglInterpreter::Escape() {
    const int c = Next();
    if (c < 0) return;
    if (c == '.') {
        // Device-control sequences: those with parameters end with ":".
        const int kind = Next();
        if (kind < 0 || std::strchr("()YZBEJKLORAU", kind)) return;
        for (int k = 0; k < 256; ++k) {
            const int p = Peek();
            if (p == ':') {
                ++FPos;
                break;
            }
            if (p < 0 || !(p == ';' || p == ',' || p == ' ' || p == '+' || p == '-' || p == '.' || (p >= '0' && p <= '9'))) break;
            ++FPos;
        }
        return;
    }
    if (c < 0x21 || c > 0x2F) return; // two-byte sequences (ESC E, ESC 9, ...) carry nothing for a plot
    const uchar family = uchar(c);
    uchar group = 0;
    if (IsLower(Peek())) group = uchar(Next());
    for (int k = 0; k < 64; ++k) {
        char sign = 0;
        if (Peek() == '+' || Peek() == '-') sign = char(Next());
        double value = 0;
        bool dot = false;
        double scale = 0.1;
        while (Peek() == '.' || (Peek() >= '0' && Peek() <= '9')) {
            const int d = Next();
            if (d == '.') {
                dot = true;
                continue;
            }
            if (dot) {
                value += (d - '0') * scale;
                scale *= 0.1;
            } else if (value < 1e15) {
                value = value * 10 + (d - '0');
            }
        }
        if (sign == '-') value = -value;
        const int letter = Peek();
        if (!IsUpper(letter) && !IsLower(letter)) return; // malformed: stop where the parameters stop
        ++FPos;
        EscapeGroup(family, group, value, sign, uchar(IsLower(letter) ? letter - 0x20 : letter));
        if (IsUpper(letter)) return;
    }
}

void THpglInterpreter::EscapeGroup(uchar family, uchar group, double value, char sign, uchar letter) {
    const qint64 n = qint64(std::clamp(std::nearbyint(value), -1e15, 1e15));
    const int ni = int(std::clamp<qint64>(n, INT_MIN, INT_MAX));
    if (family == '%') {
        if (letter == 'A') {
            FPclMode = true;
            if (n == 1) {
                FCursorX = std::llround(FPenY / FUnitsPerDot);
                FCursorY = std::llround(FPenX / FUnitsPerDot);
            }
        } else if (letter == 'B') {
            FHpgl2Mode = true;
            FPclMode = false;
            if (n == 1) PenTo(ClampCoord(FCursorY * FUnitsPerDot), ClampCoord(FCursorX * FUnitsPerDot));
        }
        return;
    }
    if (family == '&' && group == 'a' && letter == 'H') {
        if (n > 0) {
            const qint64 d = std::llround(double(n) * FResolution / 720.0);
            if (sign == '+') FCursorX += d;
            else if (sign == '-') FCursorX -= d;
            else FCursorX = d;
        } else if (n < 0 && sign == '-') {
            FCursorX -= std::llround(double(-n) * FResolution / 720.0);
        }
        FCursorX = std::clamp<qint64>(FCursorX, -kCursorLimit, kCursorLimit);
        return;
    }
    if (family == '*') {
        switch (group) {
        case 'b':
            switch (letter) {
            case 'M': FRaster.Method = ni; return;
            case 'W': RasterTransfer(n); return;
            case 'Y':
                if (FRaster.Active) FRaster.SkipRows(n);
                else FCursorY = std::clamp<qint64>(FCursorY + n, -kCursorLimit, kCursorLimit);
                return;
            case 'V': SkipData(n); return;
            default: return;
            }
        case 'c':
            if (letter == 'X' || letter == 'Y') {
                const qint32 size = ClampCoord(double(n) * kDecipoint);
                (letter == 'X' ? FPlotX : FPlotY) = size;
                FPlotSizeGiven = true;
                FRotation = FPlotX < FPlotY ? 90 : 0;
            } else if (letter == 'W') {
                SkipData(n);
            }
            return;
        case 'p':
            if (letter == 'P') {
                if (n == 0) FPens2 = FPens;
                else if (n == 1) FPens = FPens2;
            } else if (letter == 'X' || letter == 'Y') {
                RasterEnd();
                qint64& cursor = letter == 'X' ? FCursorX : FCursorY;
                cursor = std::clamp<qint64>(sign ? cursor + n : n, -kCursorLimit, kCursorLimit);
            }
            return;
        case 'r':
            switch (letter) {
            case 'S':
                if (!FRaster.Active) FRaster.Width = std::clamp(ni, 0, kMaxRasterWidth);
                return;
            case 'T':
                if (!FRaster.Active) FRaster.Height = std::max(ni, 0);
                return;
            case 'A':
                if (!FRaster.Active && (n == 0 || n == 3)) FCursorX = 0;
                return;
            case 'B':
            case 'C': RasterEnd(); return;
            default: return;
            }
        case 't':
            if (letter == 'R' && !FRaster.Active && n > 0 && n <= 100000) {
                FResolution = double(n);
                FUnitsPerDot = 1016.0 / FResolution;
            }
            return;
        case 'v':
            switch (letter) {
            case 'A': FColorA = uchar(n & 0xFF); return;
            case 'B': FColorB = uchar(n & 0xFF); return;
            case 'C': FColorC = uchar(n & 0xFF); return;
            case 'I':
                if (!FRaster.Active && n >= 0 && n <= 255)
                    FPens[size_t(n)].Color = TColor(FColorA) | (TColor(FColorB) << 8) | (TColor(FColorC) << 16);
                return;
            case 'S':
                if (!FRaster.Active && n >= 0 && n <= 255) FPen = int(n);
                return;
            case 'W':
                SkipData(n); // the configuration bytes only enable decoding
                FConfigured = true;
                return;
            default: return;
            }
        default: break;
        }
    }
    // Anything else is skipped by its syntax; a "W" carries n bytes of data.
    if (letter == 'W') SkipData(n);
}

// ---------------------------------------------------------------------------------------------------
// PJL

bool THpglInterpreter::PjlNumber(const QByteArray& line, const char* key, double& value) {
    const qsizetype at = line.indexOf(key);
    if (at < 0) return false;
    qsizetype p = at + qsizetype(std::strlen(key));
    while (p < line.size() && line[p] == ' ') ++p;
    if (p >= line.size() || line[p] != '=') return false;
    ++p;
    QByteArray digits;
    while (p < line.size() && line[p] == ' ') ++p;
    while (p < line.size() && line[p] != ' ') {
        const char c = line[p++];
        if (c == '+' || c == '-' || c == '.' || (c >= '0' && c <= '9')) digits += c;
    }
    bool ok = false;
    const int v = digits.toInt(&ok);
    if (!ok) return false;
    value = v;
    return true;
}

void THpglInterpreter::Pjl() {
    if (FPos + 3 > FSize || qstrnicmp(reinterpret_cast<const char*>(FData + FPos), "PJL", 3) != 0)
        return; // a stray at-sign: skipped
    FPos += 3;
    QByteArray line;
    while (FPos < FSize) {
        const uchar c = FData[FPos++];
        if (c == '\r' || c == '\n') break;
        if (c >= 13 && line.size() < 4096) line += char(c);
    }
    const QByteArray words = line.trimmed().toUpper();
    if (words == "EOJ" || words.startsWith("EOJ ")) {
        FlushPolyline(false);
        FPlotReady = true;
        return;
    }
    double v;
    if (PjlNumber(line, "PAPERWIDTH", v) && v > 0) {
        FPlotX = ClampCoord(v * kDecipoint);
        FPlotSizeGiven = true;
        FRotation = FPlotX < FPlotY ? 90 : 0;
    }
    if (PjlNumber(line, "PAPERLENGTH", v) && v > 0) {
        FPlotY = ClampCoord(v * kDecipoint);
        FPlotSizeGiven = true;
        FRotation = FPlotX < FPlotY ? 90 : 0;
    }
    if (PjlNumber(line, "RESOLUTION", v) && v > 0 && v <= 100000) { // 0 would make the dot size undefined
        FResolution = v;
        FUnitsPerDot = 1016.0 / v;
    }
    const qsizetype lang = line.indexOf("LANGUAGE");
    if (lang >= 0) {
        const qsizetype eq = line.indexOf('=', lang);
        if (eq >= 0) FHpgl2Mode = line.mid(eq + 1).trimmed().toUpper() == "HPGL2";
    }
}

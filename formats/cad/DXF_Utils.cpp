#include "formats/cad/DXF_Utils.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kTwoPi = 6.283185307179586476925286766559;
}

double Length(const Point3D& a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }

Point3D Normalise(const Point3D& a) {
    const double len = Length(a);
    return len > 0 && std::isfinite(len) ? a * (1.0 / len) : a;
}

double Distance2D2(const Point3D& a, const Point3D& b) { return (a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y); }
double Distance2D(const Point3D& a, const Point3D& b) { return std::sqrt(Distance2D2(a, b)); }

Point3D Cross(const Point3D& a, const Point3D& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

Matrix4 operator*(const Matrix4& a, const Matrix4& b) {
    Matrix4 r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            double s = 0;
            for (int k = 0; k < 4; ++k) s += a(i, k) * b(k, j);
            r(i, j) = s;
        }
    return r;
}

Matrix4 RotationMatrix(double theta) {
    Matrix4 r;
    const double c = std::cos(theta), s = std::sin(theta);
    r(0, 0) = c, r(0, 1) = s, r(1, 0) = -s, r(1, 1) = c;
    return r;
}

Matrix4 ScaleMatrix(const Point3D& v) {
    Matrix4 r;
    r(0, 0) = v.x, r(1, 1) = v.y, r(2, 2) = v.z;
    return r;
}

Matrix4 TranslationMatrix(const Point3D& v) {
    Matrix4 r;
    r(3, 0) = v.x, r(3, 1) = v.y, r(3, 2) = v.z;
    return r;
}

Matrix4 AxesMatrix(const Point3D& ax, const Point3D& ay, const Point3D& n) {
    Matrix4 r;
    r(0, 0) = ax.x, r(0, 1) = ax.y, r(0, 2) = ax.z;
    r(1, 0) = ay.x, r(1, 1) = ay.y, r(1, 2) = ay.z;
    r(2, 0) = n.x, r(2, 1) = n.y, r(2, 2) = n.z;
    return r;
}

void ArbitraryAxes(const Point3D& n, Point3D& ax, Point3D& ay) {
    if (std::abs(n.x) < 1.0 / 64 && std::abs(n.y) < 1.0 / 64)
        ax = Normalise(Cross({0, 1, 0}, n));
    else
        ax = Normalise(Cross({0, 0, 1}, n));
    ay = Normalise(Cross(n, ax));
}

const Matrix4* Combine(const Matrix4* own, const Matrix4* incoming, Matrix4& scratch) {
    if (!incoming) return own;
    if (!own) return incoming;
    scratch = *own * *incoming;
    return &scratch;
}

Point3D MapVector(const Point3D& v, const Matrix4* m) {
    if (!m) return v;
    const Matrix4& a = *m;
    return {v.x * a.m[0] + v.y * a.m[4] + v.z * a.m[8], v.x * a.m[1] + v.y * a.m[5] + v.z * a.m[9],
            v.x * a.m[2] + v.y * a.m[6] + v.z * a.m[10]};
}

void GrowMax(Point3D& m, const Point3D& p) {
    m.x = std::max(m.x, p.x), m.y = std::max(m.y, p.y), m.z = std::max(m.z, p.z);
}
void GrowMin(Point3D& m, const Point3D& p) {
    m.x = std::min(m.x, p.x), m.y = std::min(m.y, p.y), m.z = std::min(m.z, p.z);
}

void GrowOver(Point3D& max, Point3D& min, const Point3D& p, const Matrix4* m) {
    const Point3D q = m ? p * *m : p;
    if (!std::isfinite(q.x) || !std::isfinite(q.y) || !std::isfinite(q.z)) return;
    GrowMax(max, q);
    GrowMin(min, q);
}

void GrowOverArc(Point3D& max, Point3D& min, const Point3D& c, const Point3D& u, const Point3D& v, double t0,
                 double sweep, const Matrix4* m) {
    const Point3D cw = m ? c * *m : c, uw = MapVector(u, m), vw = MapVector(v, m);
    auto at = [&](double t) { return cw + uw * std::cos(t) + vw * std::sin(t); };
    auto grow = [&](const Point3D& p) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return;
        GrowMax(max, p);
        GrowMin(min, p);
    };
    grow(at(t0));
    grow(at(t0 + sweep));
    if (!std::isfinite(sweep)) return;
    // Where each coordinate has its extremes: u.k sin t = v.k cos t.
    const double lo = std::min(t0, t0 + sweep), hi = std::max(t0, t0 + sweep);
    const double full = std::abs(sweep) >= kTwoPi;
    for (double base : {std::atan2(vw.x, uw.x), std::atan2(vw.y, uw.y), std::atan2(vw.z, uw.z)}) {
        for (double t : {base, base + kTwoPi / 2}) {
            if (full) {
                grow(at(t));
                continue;
            }
            // Bring t into [lo, lo + 2 pi).
            double k = std::floor((t - lo) / kTwoPi);
            t -= k * kTwoPi;
            if (t <= hi) grow(at(t));
        }
    }
}

int CircleSegments(double radiusPixels) {
    if (!(radiusPixels > 0.3)) return 8;
    if (radiusPixels > 1e5) return 1024;
    const double step = std::acos(1.0 - 0.3 / radiusPixels);
    const double n = std::ceil(kTwoPi / step);
    return int(std::clamp(n, 8.0, 1024.0));
}

void AppendEllipseArc(std::vector<Point3D>& out, const Point3D& c, const Point3D& u, const Point3D& v, double t0,
                      double sweep, int segments) {
    segments = std::max(1, segments);
    for (int i = 0; i <= segments; ++i) {
        const double t = t0 + sweep * i / segments;
        out.push_back(c + u * std::cos(t) + v * std::sin(t));
    }
}

void AppendBulge(std::vector<Point3D>& out, const Point3D& a, const Point3D& b, double bulge, double pixelsPerUnit) {
    const double chord = Distance2D(a, b);
    if (bulge == 0 || !std::isfinite(bulge) || chord == 0 || !std::isfinite(chord)) {
        out.push_back(b);
        return;
    }
    const double theta = 4 * std::atan(bulge); // included angle, positive counter-clockwise
    const Point3D mid{(a.x + b.x) / 2, (a.y + b.y) / 2, a.z};
    const Point3D left{-(b.y - a.y) / chord, (b.x - a.x) / chord, 0};
    const Point3D centre = mid + left * (chord / 2 * (1 - bulge * bulge) / (2 * bulge));
    const double radius = Distance2D(a, centre);
    const double a0 = std::atan2(a.y - centre.y, a.x - centre.x);
    int n = int(std::ceil(CircleSegments(radius * pixelsPerUnit) * std::abs(theta) / kTwoPi));
    n = std::clamp(n, 2, 1024);
    for (int i = 1; i < n; ++i) {
        const double t = a0 + theta * i / n;
        out.push_back({centre.x + radius * std::cos(t), centre.y + radius * std::sin(t), a.z + (b.z - a.z) * i / n});
    }
    out.push_back(b);
}

namespace {

bool KnotsFit(const std::vector<double>& knots, size_t controls, int degree) {
    if (knots.size() != controls + size_t(degree) + 1) return false;
    for (size_t i = 1; i < knots.size(); ++i)
        if (!(knots[i] >= knots[i - 1]) || !std::isfinite(knots[i])) return false;
    return knots[size_t(degree)] < knots[controls];
}

} // namespace

void EvaluateSpline(std::vector<Point3D>& out, int degree, const std::vector<double>& knotsIn,
                    const std::vector<double>& weightsIn, const std::vector<Point3D>& controlsIn, bool closed,
                    int maxPoints) {
    std::vector<Point3D> controls = controlsIn;
    std::vector<double> weights = weightsIn;
    if (controls.size() < 2) {
        out.insert(out.end(), controls.begin(), controls.end());
        return;
    }
    degree = std::clamp(degree, 1, 11);
    std::vector<double> knots = knotsIn;
    if (!KnotsFit(knots, controls.size(), degree)) {
        // Closed curves without usable knots wrap their first points round; others are clamped.
        if (closed && controls.size() > size_t(degree)) {
            for (int i = 0; i < degree; ++i) controls.push_back(controls[size_t(i)]);
            if (weights.size() == controlsIn.size())
                for (int i = 0; i < degree; ++i) weights.push_back(weights[size_t(i)]);
            knots.resize(controls.size() + size_t(degree) + 1);
            for (size_t i = 0; i < knots.size(); ++i) knots[i] = double(i);
        } else {
            degree = std::min<int>(degree, int(controls.size()) - 1);
            const size_t n = controls.size();
            knots.assign(n + size_t(degree) + 1, 0.0);
            for (size_t i = 0; i < knots.size(); ++i) {
                if (i <= size_t(degree))
                    knots[i] = 0;
                else if (i >= n)
                    knots[i] = double(n - size_t(degree));
                else
                    knots[i] = double(i - size_t(degree));
            }
        }
    }
    const bool rational = weights.size() == controls.size() &&
                          std::all_of(weights.begin(), weights.end(), [](double w) { return w > 0 && std::isfinite(w); });
    const size_t n = controls.size();
    const int spans = int(n) - degree;
    const int perSpan = std::clamp(maxPoints / std::max(1, spans), 1, 16);
    std::vector<double> hx(size_t(degree) + 1), hy(hx.size()), hz(hx.size()), hw(hx.size());
    auto evaluate = [&](size_t span, double t) {
        for (int j = 0; j <= degree; ++j) {
            const size_t i = span - size_t(degree) + size_t(j);
            const double w = rational ? weights[i] : 1.0;
            hx[size_t(j)] = controls[i].x * w, hy[size_t(j)] = controls[i].y * w, hz[size_t(j)] = controls[i].z * w;
            hw[size_t(j)] = w;
        }
        for (int r = 1; r <= degree; ++r)
            for (int j = degree; j >= r; --j) {
                const size_t i = span - size_t(degree) + size_t(j);
                const double den = knots[i + size_t(degree) + 1 - size_t(r)] - knots[i];
                const double a = den != 0 ? (t - knots[i]) / den : 0.0;
                const size_t k = size_t(j);
                hx[k] = (1 - a) * hx[k - 1] + a * hx[k];
                hy[k] = (1 - a) * hy[k - 1] + a * hy[k];
                hz[k] = (1 - a) * hz[k - 1] + a * hz[k];
                hw[k] = (1 - a) * hw[k - 1] + a * hw[k];
            }
        const double w = hw[size_t(degree)] != 0 ? hw[size_t(degree)] : 1.0;
        return Point3D{hx[size_t(degree)] / w, hy[size_t(degree)] / w, hz[size_t(degree)] / w};
    };
    bool first = true;
    for (size_t span = size_t(degree); span < n; ++span) {
        const double t0 = knots[span], t1 = knots[span + 1];
        if (!(t1 > t0)) continue;
        for (int s = first ? 0 : 1; s <= perSpan; ++s) out.push_back(evaluate(span, t0 + (t1 - t0) * s / perSpan));
        first = false;
    }
}

void InterpolateFitPoints(std::vector<Point3D>& out, const std::vector<Point3D>& fit, bool closed) {
    const size_t n = fit.size();
    if (n < 3) {
        out.insert(out.end(), fit.begin(), fit.end());
        return;
    }
    auto at = [&](long i) -> const Point3D& {
        if (closed) return fit[size_t(((i % long(n)) + long(n)) % long(n))];
        return fit[size_t(std::clamp(i, 0L, long(n) - 1))];
    };
    const int perSpan = int(std::clamp<size_t>(20000 / n, 1, 12));
    const long spans = closed ? long(n) : long(n) - 1;
    out.push_back(fit[0]);
    for (long i = 0; i < spans; ++i) {
        const Point3D p0 = at(i - 1), p1 = at(i), p2 = at(i + 1), p3 = at(i + 2);
        // Centripetal parameters; coincident points fall back to uniform steps.
        auto dt = [](const Point3D& a, const Point3D& b) {
            const double d = std::sqrt(Length(b - a));
            return d > 1e-12 ? d : 1.0;
        };
        const double t1 = dt(p0, p1), t2 = t1 + dt(p1, p2), t3 = t2 + dt(p2, p3);
        for (int s = 1; s <= perSpan; ++s) {
            const double t = t1 + (t2 - t1) * s / perSpan;
            auto lerp = [](const Point3D& a, const Point3D& b, double ta, double tb, double tt) {
                return a * ((tb - tt) / (tb - ta)) + b * ((tt - ta) / (tb - ta));
            };
            const Point3D a1 = lerp(p0, p1, 0, t1, t), a2 = lerp(p1, p2, t1, t2, t), a3 = lerp(p2, p3, t2, t3, t);
            const Point3D b1 = lerp(a1, a2, 0, t2, t), b2 = lerp(a2, a3, t1, t3, t);
            out.push_back(lerp(b1, b2, t1, t2, t));
        }
    }
}

namespace {

bool ValidUtf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        const uchar c = uchar(s[i]);
        const int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (extra < 0 || i + size_t(extra) >= s.size()) return false;
        for (int k = 1; k <= extra; ++k)
            if ((uchar(s[i + size_t(k)]) & 0xC0) != 0x80) return false;
        i += size_t(extra) + 1;
    }
    return true;
}

int HexValue(QChar c) {
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    return -1;
}

} // namespace

QString DecodeDxfString(std::string_view bytes) {
    bool ascii = true;
    bool escapes = false;
    for (char c : bytes) {
        if (uchar(c) >= 0x80 || c == '\r') ascii = false;
        if (c == '\\') escapes = true;
    }
    QString s;
    if (ascii)
        s = QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
    else if (ValidUtf8(bytes))
        s = QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
    else
        s = QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
    s.remove(QLatin1Char('\r'));
    if (!escapes) return s;
    // \U+XXXX: a Unicode character written by the newer writers.
    QString r;
    r.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] == QLatin1Char('\\') && i + 6 < s.size() && (s[i + 1] == QLatin1Char('U') || s[i + 1] == QLatin1Char('u')) &&
            s[i + 2] == QLatin1Char('+')) {
            int v = 0;
            bool ok = true;
            for (int k = 3; k <= 6; ++k) {
                const int h = HexValue(s[i + k]);
                if (h < 0) ok = false;
                v = v * 16 + std::max(h, 0);
            }
            if (ok) {
                r += QChar(char16_t(v));
                i += 6;
                continue;
            }
        }
        r += s[i];
    }
    return r;
}

QString DecodeTextCodes(const QString& text) {
    if (!text.contains(QLatin1String("%%"))) return text;
    QString r;
    r.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('%') && i + 2 < text.size() && text[i + 1] == QLatin1Char('%')) {
            const QChar c = text[i + 2].toLower();
            if (c == QLatin1Char('d')) {
                r += QChar(0x00B0);
                i += 2;
                continue;
            }
            if (c == QLatin1Char('p')) {
                r += QChar(0x00B1);
                i += 2;
                continue;
            }
            if (c == QLatin1Char('c')) {
                r += QChar(0x2300);
                i += 2;
                continue;
            }
            if (c == QLatin1Char('%')) {
                r += QLatin1Char('%');
                i += 2;
                continue;
            }
            if (c == QLatin1Char('u') || c == QLatin1Char('o') || c == QLatin1Char('k')) {
                i += 2;
                continue;
            }
            if (c.isDigit() && i + 4 < text.size() && text[i + 3].isDigit() && text[i + 4].isDigit()) {
                const int code = text.mid(i + 2, 3).toInt();
                if (code > 0 && code < 256) r += QChar(char16_t(code));
                i += 4;
                continue;
            }
        }
        r += text[i];
    }
    return r;
}

QStringList DecodeMText(const QString& text) {
    QStringList lines;
    QString line;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('{') || c == QLatin1Char('}')) continue;
        if (c == QLatin1Char('\n')) {
            lines << line;
            line.clear();
            continue;
        }
        if (c != QLatin1Char('\\') || i + 1 >= n) {
            line += c;
            continue;
        }
        const QChar k = text[++i];
        switch (k.unicode()) {
        case 'P':
            lines << line;
            line.clear();
            break;
        case '~':
            line += QLatin1Char(' ');
            break;
        case '\\':
        case '{':
        case '}':
            line += k;
            break;
        case 'L': case 'l': case 'O': case 'o': case 'K': case 'k': case 'N':
            break; // underline, overline, strike-through, column break: no glyphs
        case 'S': {
            // Stacked fraction "a^b;" or "a/b;" or "a#b;": shown as a/b.
            qsizetype end = text.indexOf(QLatin1Char(';'), i + 1);
            if (end < 0) end = n;
            QString stack = text.mid(i + 1, end - i - 1);
            stack.replace(QLatin1Char('^'), QLatin1Char('/')).replace(QLatin1Char('#'), QLatin1Char('/'));
            line += stack;
            i = end;
            break;
        }
        case 'f': case 'F': case 'H': case 'h': case 'W': case 'w': case 'Q': case 'q': case 'T': case 't':
        case 'A': case 'a': case 'C': case 'c': case 'p': {
            // Codes with an argument up to ';'.
            qsizetype end = text.indexOf(QLatin1Char(';'), i + 1);
            i = end < 0 ? n : end;
            break;
        }
        default:
            line += k;
            break;
        }
    }
    lines << line;
    return lines;
}

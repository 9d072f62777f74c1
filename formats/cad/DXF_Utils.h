// Geometry helpers of the DXF model (vectors, matrices, arcs, bulges, splines) and the decoding of DXF text.
#pragma once

#include "formats/cad/DXF_structs.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <string_view>
#include <vector>

inline Point3D MakePoint(double x, double y, double z = 0) { return {x, y, z}; }
inline bool SamePoint(const Point3D& a, const Point3D& b) { return a == b; }
inline Point3D operator-(const Point3D& a, const Point3D& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Point3D operator+(const Point3D& a, const Point3D& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Point3D operator*(const Point3D& a, double k) { return {a.x * k, a.y * k, a.z * k}; }
double Length(const Point3D& a);
// a divided by its length; a itself when its length is 0.
Point3D Normalise(const Point3D& a);
double Distance2D(const Point3D& a, const Point3D& b);
double Distance2D2(const Point3D& a, const Point3D& b);
Point3D Cross(const Point3D& a, const Point3D& b);

// Counter-clockwise rotation by theta radians.
Matrix4 RotationMatrix(double theta);
Matrix4 ScaleMatrix(const Point3D& v);
Matrix4 TranslationMatrix(const Point3D& v);
Matrix4 AxesMatrix(const Point3D& ax, const Point3D& ay, const Point3D& n);
// The arbitrary-axis rule: the x and y axes of the coordinate system whose z axis is n.
void ArbitraryAxes(const Point3D& n, Point3D& ax, Point3D& ay);
// own . incoming where both exist, else whichever exists (nullptr when neither); the product goes to scratch.
const Matrix4* Combine(const Matrix4* own, const Matrix4* incoming, Matrix4& scratch);
// A vector (not a point) through the matrix: no translation.
Point3D MapVector(const Point3D& v, const Matrix4* m);

void GrowMax(Point3D& m, const Point3D& p);
void GrowMin(Point3D& m, const Point3D& p);
// Grows over p mapped through m.
void GrowOver(Point3D& max, Point3D& min, const Point3D& p, const Matrix4* m);
// Grows over the ellipse arc c + u cos t + v sin t, t from t0 through sweep (radians, may be negative),
// all after mapping through m.
void GrowOverArc(Point3D& max, Point3D& min, const Point3D& c, const Point3D& u, const Point3D& v, double t0,
                 double sweep, const Matrix4* m);

// Chords for a full circle of the given radius in pixels (8 to 1024).
int CircleSegments(double radiusPixels);
// Appends the points of the arc of a bulge from a to b (b included, a not).
void AppendBulge(std::vector<Point3D>& out, const Point3D& a, const Point3D& b, double bulge, double pixelsPerUnit);
// Points of the ellipse arc c + u cos t + v sin t (both ends included).
void AppendEllipseArc(std::vector<Point3D>& out, const Point3D& c, const Point3D& u, const Point3D& v, double t0,
                      double sweep, int segments);
// Evaluates a B-spline (rational when weights match the control points). Knots that do not fit the
// control points are replaced by clamped uniform ones. Appends at most maxPoints points.
void EvaluateSpline(std::vector<Point3D>& out, int degree, const std::vector<double>& knots,
                    const std::vector<double>& weights, const std::vector<Point3D>& controls, bool closed,
                    int maxPoints = 20000);
// A smooth curve through the fit points (centripetal Catmull-Rom).
void InterpolateFitPoints(std::vector<Point3D>& out, const std::vector<Point3D>& fit, bool closed);

// Text of a DXF value: UTF-8 when valid, else Latin-1; \U+XXXX escapes decoded, carriage returns dropped.
QString DecodeDxfString(std::string_view bytes);
// TEXT control codes: %%d degree, %%p plus-minus, %%c diameter, %%% percent, %%nnn character;
// %%u and %%o (underline, overline) removed.
QString DecodeTextCodes(const QString& text);
// MTEXT formatting stripped and split into lines at \P (and real line breaks).
QStringList DecodeMText(const QString& text);

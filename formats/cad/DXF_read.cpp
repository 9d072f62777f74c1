#include "formats/cad/DXF_read.h"

#include "formats/cad/DXF_Utils.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace {

constexpr double kDegree = 3.14159265358979323846 / 180;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; }

std::string UpperKey(const QString& s) { return s.toUpper().toStdString(); }

bool ParseCode(std::string_view line, int& code) {
    line = Trim(line);
    if (line.empty()) return false;
    const char* s = line.data();
    const char* e = s + line.size();
    if (*s == '+') ++s;
    long v = 0;
    const auto r = std::from_chars(s, e, v);
    if (r.ec != std::errc() || r.ptr != e || v < -9999 || v > 9999) return false;
    code = int(v);
    return true;
}

// Decimal numbers as the writers put them ("12.5", "-0.25", "1.0E+20"): mantissas up to 2^53 with
// exponents up to 22 convert exactly with one multiplication or division; the rest go to from_chars.
bool FastFloat(const char* s, const char* e, double& out) {
    static constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                        1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    bool negative = false;
    if (s < e && (*s == '-' || *s == '+')) negative = *s++ == '-';
    quint64 m = 0;
    int significant = 0, exponent = 0;
    bool any = false;
    for (; s < e && unsigned(*s - '0') < 10; ++s, any = true) {
        if (significant < 19) {
            m = m * 10 + unsigned(*s - '0');
            if (m) ++significant;
        } else {
            ++exponent;
        }
    }
    if (s < e && *s == '.')
        for (++s; s < e && unsigned(*s - '0') < 10; ++s, any = true)
            if (significant < 19) {
                m = m * 10 + unsigned(*s - '0');
                if (m) ++significant;
                --exponent;
            }
    if (!any) return false;
    if (s < e && (*s == 'e' || *s == 'E')) {
        ++s;
        bool negExp = false;
        if (s < e && (*s == '-' || *s == '+')) negExp = *s++ == '-';
        int x = 0, digits = 0;
        for (; s < e && unsigned(*s - '0') < 10; ++s, ++digits)
            if (x < 10000) x = x * 10 + (*s - '0');
        if (!digits) return false;
        exponent += negExp ? -x : x;
    }
    if (s != e) return false;
    if (m == 0) {
        out = negative ? -0.0 : 0.0;
        return true;
    }
    if (m > (quint64(1) << 53) || exponent < -22 || exponent > 22) return false;
    double d = double(m);
    d = exponent < 0 ? d / kPow10[-exponent] : d * kPow10[exponent];
    out = negative ? -d : d;
    return true;
}

} // namespace

DXF_read_exception::DXF_read_exception(const QString& message, int lineNumber)
    : Exception(lineNumber < 0 ? message
                               : message + QStringLiteral("\r\nError occured at or near line number ") +
                                     QString::number(lineNumber)),
      FReason(message), FLine(lineNumber) {}

DXF_Reader::DXF_Reader(const QByteArray& data, TProgress progress) : FData(data), FProgress(std::move(progress)) {
    // Files of the old Macintosh writers end their lines with CR alone.
    if (!FData.contains('\n') && FData.contains('\r')) FData.replace('\r', '\n');
    FBegin = FData.constData();
    FCur = FBegin;
    FEnd = FBegin + FData.size();
    if (FProgress) FProgress(0);
}

DXF_Reader::~DXF_Reader() = default;

// ---------------------------------------------------------------------------------------------------------
// Groups

bool DXF_Reader::ReadLine(std::string_view& line) {
    if (FCur >= FEnd) return false;
    const char* s = FCur;
    const char* nl = static_cast<const char*>(std::memchr(s, '\n', size_t(FEnd - s)));
    const char* e = nl ? nl : FEnd;
    FCur = nl ? nl + 1 : FEnd;
    while (e > s && e[-1] == '\r') --e;
    line = std::string_view(s, size_t(e - s));
    ++FLine;
    return true;
}

bool DXF_Reader::Next() {
    if (FPushed) {
        FPushed = false;
        return true;
    }
    std::string_view line;
    do {
        if (!ReadLine(line)) {
            FEnded = true;
            FCode = -2;
            return false;
        }
    } while (Trim(line).empty());
    int code = 0;
    if (!ParseCode(line, code)) {
        AddMessage(DXF_read_exception(QStringLiteral("Invalid group code"), FLine).Message());
        FCur = FEnd; // the pairs cannot be told apart from here on
        FEnded = true;
        FCode = -2;
        return false;
    }
    if (!ReadLine(FValue)) {
        FEnded = true;
        FCode = -2;
        return false;
    }
    FCode = code;
    if (FProgress && ++FGroupsSinceProgress >= 8192) {
        FGroupsSinceProgress = 0;
        const int percent = int((FCur - FBegin) * 100 / std::max<qint64>(1, FEnd - FBegin));
        if (percent != FLastPercent) {
            FLastPercent = percent;
            FProgress(percent);
        }
    }
    return true;
}

bool DXF_Reader::Is(const char* name) const {
    const std::string_view v = Trim(FValue);
    const size_t n = std::strlen(name);
    if (v.size() != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (Upper(v[i]) != name[i]) return false;
    return true;
}

double DXF_Reader::Float() const {
    const std::string_view v = Trim(FValue);
    const char* s = v.data();
    const char* e = s + v.size();
    double d = 0;
    if (FastFloat(s, e, d)) return d;
    if (s < e && *s == '+') ++s;
    const auto r = std::from_chars(s, e, d);
    if (r.ec != std::errc() || r.ptr != e || s == e || !std::isfinite(d))
        throw DXF_read_exception(QStringLiteral("Invalid Floating point conversion"), FLine);
    return d;
}

int DXF_Reader::Int() const {
    const std::string_view v = Trim(FValue);
    const char* s = v.data();
    const char* e = s + v.size();
    if (s < e && *s == '+') ++s;
    long long n = 0;
    const auto r = std::from_chars(s, e, n);
    if (r.ec == std::errc() && r.ptr == e) return int(std::clamp<long long>(n, INT_MIN, INT_MAX));
    // Some writers put integers in decimal notation ("1.0").
    double d = 0;
    const auto f = std::from_chars(s, e, d);
    if (f.ec == std::errc() && f.ptr == e && s != e && std::isfinite(d) && d == std::floor(d))
        return int(std::clamp<double>(d, INT_MIN, INT_MAX));
    throw DXF_read_exception(QStringLiteral("Invalid Integer conversion"), FLine);
}

QString DXF_Reader::Text() const { return DecodeDxfString(FValue); }

bool DXF_Reader::EntityGroup() {
    for (;;) {
        if (!Next()) return false;
        if (FCode == 0) {
            PushBack();
            return false;
        }
        if (FCode == 102 && !Trim(FValue).empty() && Trim(FValue).front() == '{') {
            // Application data: whatever it holds belongs to another program.
            while (Next() && FCode != 0 && !(FCode == 102 && Trim(FValue) == "}")) {
            }
            if (FCode == 0) {
                PushBack();
                return false;
            }
            if (FEnded) return false;
            continue;
        }
        if (FCode == 101) { // embedded object data repeats the entity's codes with other meanings
            while (Next() && FCode != 0) {
            }
            if (FCode == 0) PushBack();
            return false;
        }
        if (FCode >= 1000) continue; // extended data
        return true;
    }
}

bool DXF_Reader::SectionEnd() {
    if (Is("ENDSEC")) return true;
    if (Is("SECTION") || Is("EOF")) {
        PushBack();
        return true;
    }
    return false;
}

void DXF_Reader::Fail(const char* entity) const {
    throw DXF_read_exception(QStringLiteral("Error reading %1 entity").arg(QLatin1String(entity)), FLine);
}

void DXF_Reader::Expect(int code, const char* entity) {
    if (!EntityGroup() || FCode != code) Fail(entity);
}

bool DXF_Reader::Optional(int code) {
    if (!EntityGroup()) return false;
    if (FCode != code) {
        PushBack();
        return false;
    }
    return true;
}

void DXF_Reader::AddMessage(const QString& message) {
    if (FMessages.size() < MaxMessages) FMessages << message;
}

// ---------------------------------------------------------------------------------------------------------
// Sections

bool DXF_Reader::ReadFile() {
    if (FData.startsWith("AutoCAD Binary DXF"))
        throw DXF_read_exception(QStringLiteral("Binary DXF files are not supported"), -1);
    try {
        while (Next()) {
            if (FCode != 0) continue;
            if (Is("SECTION")) {
                FRecognised = true;
                ReadSection();
            } else if (Is("EOF")) {
                FRecognised = true;
                break;
            }
        }
    } catch (const DXF_read_exception& e) {
        AddMessage(e.Message());
    }
    Finish();
    if (FProgress) FProgress(100);
    return true;
}

void DXF_Reader::ReadSection() {
    if (!Next()) return;
    if (FCode != 2) {
        PushBack();
        return;
    }
    if (Is("HEADER"))
        ReadHeader();
    else if (Is("TABLES"))
        ReadTables();
    else if (Is("BLOCKS"))
        ReadBlocks();
    else if (Is("ENTITIES"))
        ReadEntities();
    else
        SkipSection(); // CLASSES, OBJECTS, THUMBNAILIMAGE, ACDSDATA, ...
}

void DXF_Reader::SkipSection() {
    while (Next())
        if (FCode == 0 && SectionEnd()) return;
}

void DXF_Reader::ReadHeader() {
    while (Next()) {
        if (FCode == 0) {
            if (SectionEnd()) return;
            continue;
        }
        if (FCode != 9) continue;
        if (Is("$EXTMIN"))
            ReadHeaderPoint(FHeaderMin, FHeaderMinOk);
        else if (Is("$EXTMAX"))
            ReadHeaderPoint(FHeaderMax, FHeaderMaxOk);
    }
}

void DXF_Reader::ReadHeaderPoint(Point3D& p, bool& ok) {
    bool x = false, y = false;
    while (Next()) {
        if (FCode == 0 || FCode == 9) {
            PushBack();
            break;
        }
        try {
            if (FCode == 10) p.x = Float(), x = true;
            else if (FCode == 20) p.y = Float(), y = true;
            else if (FCode == 30) p.z = Float();
        } catch (const DXF_read_exception& e) {
            AddMessage(e.Message());
            x = y = false;
            ok = false;
            return;
        }
    }
    ok = x && y;
}

void DXF_Reader::ReadTables() {
    while (Next()) {
        if (FCode != 0) continue;
        if (SectionEnd()) return;
        if (!Is("TABLE")) continue;
        // The table's own groups, up to its first record; its name is in group 2.
        bool layers = false;
        while (Next() && FCode != 0)
            if (FCode == 2 && Is("LAYER")) layers = true;
        if (FEnded) return;
        PushBack();
        if (layers) ReadLayerTable();
    }
}

void DXF_Reader::ReadLayerTable() {
    while (Next()) {
        if (FCode != 0) continue;
        if (Is("ENDTAB")) return;
        if (Is("ENDSEC") || Is("SECTION") || Is("EOF")) {
            PushBack();
            return;
        }
        if (!Is("LAYER")) continue;
        // The name may stand anywhere in the record (handles and subclass markers come first in newer files).
        std::string_view name;
        int colour = 0;
        while (Next() && FCode != 0) {
            if (FCode == 2)
                name = FValue;
            else if (FCode == 62) {
                try {
                    colour = Int();
                } catch (const DXF_read_exception& e) {
                    AddMessage(e.Message());
                }
            }
        }
        if (FCode == 0) PushBack();
        FLayers.push_back(std::make_unique<DXF_Layer>(DecodeDxfString(name), colour));
        FLayerIndex.emplace(std::string(name), int(FLayers.size()) - 1); // the first of a name wins
        FLastLayer = -1;
    }
}

int DXF_Reader::LayerIndex(std::string_view name) {
    if (FLastLayer >= 0 && name == FLastLayerName) return FLastLayer;
    auto it = FLayerIndex.find(name);
    int index;
    if (it != FLayerIndex.end()) {
        index = it->second;
    } else {
        FLayers.push_back(std::make_unique<DXF_Layer>(DecodeDxfString(name), 0));
        index = int(FLayers.size()) - 1;
        FLayerIndex.emplace(std::string(name), index);
    }
    FLastLayerName.assign(name);
    FLastLayer = index;
    return index;
}

void DXF_Reader::ReadBlocks() {
    while (Next()) {
        if (FCode != 0) continue;
        if (SectionEnd()) return;
        if (Is("BLOCK")) {
            try {
                ReadBlock();
            } catch (const DXF_read_exception& e) {
                AddMessage(e.Message());
            }
        }
    }
}

void DXF_Reader::ReadBlock() {
    abstract_entity e;
    const bool complete = Collect(e);
    LayerIndex(e.Layer8);
    std::string_view nameBytes = Trim(e.Name2).empty() ? e.Prompt3 : e.Name2;
    auto block = std::make_unique<Block_>(DecodeDxfString(nameBytes), e.P[0]);
    Block_* raw = block.get();
    FBlocks.emplace(UpperKey(raw->Name()), raw); // the first definition of a name wins
    FLayers[size_t(LayerIndex("0"))]->AddEntity(std::move(block));
    if (!complete) return;
    while (Next()) {
        if (FCode != 0) continue;
        if (Is("ENDBLK")) return;
        if (Is("ENDSEC") || Is("SECTION") || Is("EOF")) {
            PushBack();
            return;
        }
        ReadEntityInto(raw);
    }
}

void DXF_Reader::ReadEntities() {
    while (Next()) {
        if (FCode != 0) continue;
        if (SectionEnd()) return;
        ReadEntityInto(nullptr);
    }
}

void DXF_Reader::ReadEntityInto(Block_* block) {
    int layer = -1;
    bool paper = false;
    std::unique_ptr<DXF_Entity> entity;
    try {
        entity = ReadEntity(layer, paper, block != nullptr);
    } catch (const DXF_read_exception& e) {
        AddMessage(e.Message()); // the entity is dropped; reading goes on with the next pair
        return;
    }
    if (!entity) return;
    if (block)
        block->Add(std::move(entity));
    else if (paper)
        FPaperEntities.emplace_back(layer, std::move(entity));
    else {
        FLayers[size_t(layer)]->AddEntity(std::move(entity));
        ++FModelEntities;
    }
}

void DXF_Reader::Finish() {
    // Inserts find their blocks once every block is known, so a block may be defined after its use.
    std::vector<const DXF_Entity*> unresolved;
    for (const TPendingInsert& p : FInserts) {
        try {
            p.Entity->LinkBlocks(FBlocks);
        } catch (const Exception&) {
            AddMessage(DXF_read_exception(QStringLiteral("Cannot reference an undefined BLOCK\r\n\r\n(File may not "
                                                         "have been saved with BLOCKs)\r\n"),
                                          p.Line)
                           .Message());
            if (!p.InBlock) unresolved.push_back(p.Entity);
        }
    }
    FInserts.clear();
    // Paper space is shown only when the model holds nothing (linked first: inserts may live there).
    if (FModelEntities == 0)
        for (auto& [layer, entity] : FPaperEntities) FLayers[size_t(layer)]->AddEntity(std::move(entity));
    FPaperEntities.clear();
    if (!unresolved.empty()) {
        std::sort(unresolved.begin(), unresolved.end());
        for (auto& layer : FLayers)
            for (int i = 0; i < layer->ListCount(); ++i) {
                auto& list = layer->List(i).Entities();
                list.erase(std::remove_if(list.begin(), list.end(),
                                          [&](const std::unique_ptr<DXF_Entity>& e) {
                                              return std::binary_search(unresolved.begin(), unresolved.end(), e.get());
                                          }),
                           list.end());
            }
    }

    // Extents: those of the entities, unless the header's enclose them closely (the writer measured
    // text and curves exactly). Empty-drawing sentinels (1e20) and stale values are not used.
    Point3D hi{-INFINITY, -INFINITY, -INFINITY}, lo{INFINITY, INFINITY, INFINITY};
    for (const auto& layer : FLayers) layer->GrowExtents(hi, lo);
    if (!(hi.z >= lo.z)) hi.z = lo.z = 0;
    const bool entities = hi.x >= lo.x && hi.y >= lo.y;
    auto usable = [](const Point3D& p) { return std::abs(p.x) < 1e19 && std::abs(p.y) < 1e19 && std::abs(p.z) < 1e19; };
    const bool header = FHeaderMinOk && FHeaderMaxOk && usable(FHeaderMin) && usable(FHeaderMax) &&
                        FHeaderMax.x >= FHeaderMin.x && FHeaderMax.y >= FHeaderMin.y;
    if (entities) {
        FExtMin = lo, FExtMax = hi;
        if (header) {
            const double hw = FHeaderMax.x - FHeaderMin.x, hh = FHeaderMax.y - FHeaderMin.y;
            const double ew = hi.x - lo.x, eh = hi.y - lo.y;
            const double slack = 1e-6 * std::max({hw, hh, 1e-300}) + 1e-9;
            const bool encloses = FHeaderMin.x <= lo.x + slack && FHeaderMin.y <= lo.y + slack &&
                                  FHeaderMax.x >= hi.x - slack && FHeaderMax.y >= hi.y - slack;
            const double margin = 0.01 * std::max(hw, hh);
            if (encloses && hw <= 1.25 * ew + margin && hh <= 1.25 * eh + margin) {
                FExtMin = Point3D{FHeaderMin.x, FHeaderMin.y, lo.z};
                FExtMax = Point3D{FHeaderMax.x, FHeaderMax.y, hi.z};
            }
        }
    } else if (header) {
        FExtMin = FHeaderMin, FExtMax = FHeaderMax;
    } else {
        FExtMin = FExtMax = Point3D{};
    }
}

// ---------------------------------------------------------------------------------------------------------
// Entities

bool DXF_Reader::CommonGroup(abstract_entity& e) {
    switch (FCode) {
    case 8: e.Layer8 = FValue; return true;
    case 62: e.Colour62 = Int(); return true;
    case 67: e.Space67 = Int(); return true;
    case 210: e.Extrusion.x = Float(); return true;
    case 220: e.Extrusion.y = Float(); return true;
    case 230: e.Extrusion.z = Float(); return true;
    default: return false;
    }
}

bool DXF_Reader::Collect(abstract_entity& e) {
    while (EntityGroup()) {
        if (CommonGroup(e)) continue;
        switch (FCode) {
        case 1: e.Text1 = FValue; break;
        case 2: e.Name2 = FValue; break;
        case 3: e.Prompt3 = FValue; break;
        case 10: e.P[0].x = Float(); break;
        case 20: e.P[0].y = Float(); break;
        case 30: e.P[0].z = Float(); break;
        case 11: e.P[1].x = Float(); break;
        case 21: e.P[1].y = Float(); break;
        case 31: e.P[1].z = Float(); break;
        case 12: e.P[2].x = Float(); break;
        case 22: e.P[2].y = Float(); break;
        case 32: e.P[2].z = Float(); break;
        case 13: e.P[3].x = Float(); break;
        case 23: e.P[3].y = Float(); break;
        case 33: e.P[3].z = Float(); break;
        case 38: e.Elevation38 = Float(); break;
        case 39: e.Thickness39 = Float(); break;
        case 40: e.Size40 = Float(); break;
        case 41: e.Scale41 = Float(); break;
        case 42: e.Scale42 = Float(); break;
        case 43: e.Scale43 = Float(); break;
        case 44: e.Spacing44 = Float(); break;
        case 45: e.Spacing45 = Float(); break;
        case 50: e.Angle50 = Float(); break;
        case 51: e.Angle51 = Float(); break;
        case 66: e.Follow66 = Int(); break;
        case 70: e.Flags70 = Int(); break;
        case 71: e.I71 = Int(); break;
        case 72: e.I72 = Int(); break;
        case 73: e.I73 = Int(); break;
        case 74: e.I74 = Int(); break;
        default: break;
        }
    }
    return !FEnded;
}

namespace {
Point3D NormalOf(const abstract_entity& e) {
    if (e.Extrusion == Point3D{0, 0, 1}) return e.Extrusion;
    const Point3D n = Normalise(e.Extrusion);
    // A zero or unusable direction keeps the default one.
    if (!(Length(n) > 0.5) || !std::isfinite(n.x) || !std::isfinite(n.y) || !std::isfinite(n.z)) return {0, 0, 1};
    return n;
}

DXF_TextStyle StyleOf(const abstract_entity& e, int vAlign) {
    DXF_TextStyle s;
    s.Rotation = e.Angle50;
    s.WidthFactor = e.Scale41 > 0 ? e.Scale41 : 1.0;
    s.Generation = e.I71;
    s.VAlign = vAlign;
    return s;
}

std::unique_ptr<Attrib_> MakeAttrib(const abstract_entity& e) {
    return std::make_unique<Attrib_>(NormalOf(e), e.Colour62, e.Size40, e.I72, e.Flags70,
                                     DecodeTextCodes(DecodeDxfString(e.Text1)), DecodeDxfString(e.Name2), e.P[1],
                                     e.P[0], StyleOf(e, e.I74));
}
} // namespace

std::unique_ptr<DXF_Entity> DXF_Reader::ReadEntity(int& layer, bool& paper, bool inBlock) {
    const char* kind = Is("LINE")       ? "LINE"
                       : Is("CIRCLE")   ? "CIRCLE"
                       : Is("ARC")      ? "ARC"
                       : Is("POLYLINE") ? "POLYLINE"
                       : Is("LWPOLYLINE") ? "LWPOLYLINE"
                       : Is("TEXT")     ? "TEXT"
                       : Is("INSERT")   ? "INSERT"
                       : Is("POINT")    ? "POINT"
                       : Is("3DFACE")   ? "3DFACE"
                       : Is("SOLID")    ? "SOLID"
                       : Is("TRACE")    ? "SOLID"
                       : Is("ATTDEF")   ? "ATTDEF"
                       : Is("ATTRIB")   ? "ATTRIB"
                       : Is("ELLIPSE")  ? "ELLIPSE"
                       : Is("SPLINE")   ? "SPLINE"
                       : Is("MTEXT")    ? "MTEXT"
                       : Is("DIMENSION") ? "DIMENSION"
                       : Is("HATCH")    ? "HATCH"
                                        : nullptr;
    if (!kind) return nullptr; // its groups are passed over by the caller
    const int startLine = FLine;
    abstract_entity e;
    std::unique_ptr<DXF_Entity> r;
    const std::string_view k(kind);
    if (k == "INSERT") {
        r = ReadInsert(e, inBlock);
    } else if (k == "POLYLINE") {
        r = ReadPolyline(e);
    } else if (k == "LWPOLYLINE") {
        r = ReadLwPolyline(e);
    } else if (k == "SPLINE") {
        r = ReadSpline(e);
    } else if (k == "MTEXT") {
        r = ReadMText(e);
    } else if (k == "HATCH") {
        r = ReadHatch(e);
    } else {
        if (!Collect(e)) Fail(kind);
        const Point3D n = NormalOf(e);
        if (k == "LINE") {
            r = std::make_unique<Line_>(e.P[0], e.Colour62, e.P[1]);
        } else if (k == "CIRCLE") {
            r = std::make_unique<Circle_>(n, e.Colour62, e.Size40, e.P[0]);
        } else if (k == "ARC") {
            r = std::make_unique<Arc_>(n, e.Colour62, e.Angle51, e.Angle50, e.Size40, e.P[0]);
        } else if (k == "TEXT") {
            r = std::make_unique<Text_>(n, e.I72, e.Colour62, e.Size40, DecodeTextCodes(DecodeDxfString(e.Text1)),
                                        e.P[1], e.P[0], StyleOf(e, e.I73));
        } else if (k == "POINT") {
            r = std::make_unique<Point_>(n, e.Colour62, e.P[0]);
        } else if (k == "3DFACE") {
            r = std::make_unique<Face3D_>(e.P[2] == e.P[3] ? 3 : 4, true, e.Colour62, e.P);
        } else if (k == "SOLID") {
            r = std::make_unique<Solid_>(n, e.Thickness39, e.Colour62, e.P, e.P[2] == e.P[3] ? 3 : 4);
        } else if (k == "ATTDEF") {
            r = std::make_unique<Attdef_>(n, e.Colour62, e.Size40, e.I72, e.Flags70, DecodeDxfString(e.Prompt3),
                                          DecodeTextCodes(DecodeDxfString(e.Text1)), DecodeDxfString(e.Name2), e.P[1],
                                          e.P[0], StyleOf(e, e.I74));
        } else if (k == "ATTRIB") {
            r = MakeAttrib(e);
        } else if (k == "ELLIPSE") {
            double ratio = e.Size40;
            if (!(ratio > 0) || ratio > 1) ratio = std::clamp(std::abs(ratio), 1e-9, 1.0);
            r = std::make_unique<Ellipse_>(n, e.Colour62, e.P[0], e.P[1], ratio, e.Scale41, e.Scale42);
        } else if (k == "DIMENSION") {
            if (!Trim(e.Name2).empty()) {
                auto d = std::make_unique<Dimension_>(n, DecodeDxfString(Trim(e.Name2)), e.Colour62);
                FInserts.push_back({d.get(), startLine, inBlock});
                r = std::move(d);
            }
        }
    }
    layer = LayerIndex(e.Layer8);
    paper = e.Space67 == 1;
    return r;
}

std::unique_ptr<DXF_Entity> DXF_Reader::ReadInsert(abstract_entity& e, bool inBlock) {
    const int line = FLine;
    if (!Collect(e)) Fail("INSERT");
    std::vector<std::unique_ptr<Attrib_>> attributes;
    if (e.Follow66 == 1) {
        while (Next()) {
            if (FCode != 0) Fail("INSERT");
            if (Is("ATTRIB")) {
                abstract_entity a;
                if (!Collect(a)) Fail("INSERT");
                attributes.push_back(MakeAttrib(a));
                continue;
            }
            if (Is("SEQEND")) {
                abstract_entity end;
                Collect(end);
            } else {
                PushBack(); // no SEQEND: the next entity starts here
            }
            break;
        }
    }
    Point3D scale{e.Scale41, e.Scale42, e.Scale43};
    if (scale.x == 0) scale.x = 1;
    if (scale.y == 0) scale.y = 1;
    if (scale.z == 0) scale.z = 1;
    auto insert = std::make_unique<Insert_>(NormalOf(e), DecodeDxfString(Trim(e.Name2)), std::move(attributes),
                                            e.Colour62, e.Angle50, scale, e.P[0]);
    if (e.Flags70 > 1 || e.I71 > 1) insert->SetArray(e.Flags70, e.I71, e.Spacing44, e.Spacing45);
    if (!insert->BlockName().isEmpty()) FInserts.push_back({insert.get(), line, inBlock});
    return insert;
}

std::unique_ptr<DXF_Entity> DXF_Reader::ReadPolyline(abstract_entity& e) {
    if (!Collect(e)) Fail("POLYLINE");
    const int flags = e.Flags70;
    const bool mesh = flags & 16, polyface = !mesh && (flags & 64);
    FPoints.clear();
    FBulges.clear();
    FFaces.clear();
    bool anyBulge = false;
    int vertexRecords = 0;
    abstract_entity v;
    for (;;) {
        if (!Next()) Fail("POLYLINE");
        if (FCode != 0) continue;
        if (Is("SEQEND")) {
            abstract_entity end;
            Collect(end);
            break;
        }
        if (!Is("VERTEX")) {
            PushBack(); // no SEQEND: the next entity starts here
            break;
        }
        if (!mesh) v = abstract_entity(); // a mesh vertex keeps the groups the previous one had
        if (!Collect(v)) Fail("POLYLINE");
        ++vertexRecords;
        const int vf = v.Flags70;
        if (mesh) {
            if (!(vf & 64)) Fail("POLYLINE");
        } else if (polyface) {
            if ((vf & 128) && !(vf & 64)) {
                if (int(FFaces.size()) >= MaxPolyfaceFaces)
                    throw DXF_read_exception(QStringLiteral("Polyface mesh contained more than %1 faces").arg(MaxPolyfaceFaces), FLine);
                auto index = [](int i) { return i == 0 ? -1 : std::abs(i == INT_MIN ? INT_MAX : i) - 1; };
                FFaces.push_back({index(v.I71), index(v.I72), index(v.I73), index(v.I74)});
                continue;
            }
            if (!((vf & 128) && (vf & 64))) Fail("POLYLINE");
        } else if (vf & 16) {
            continue; // frame point of a spline-fitted polyline: not on the curve
        }
        if (int(FPoints.size()) >= MaxPolylineVertices)
            throw DXF_read_exception(QStringLiteral("Polyline contained more than %1 vertices").arg(MaxPolylineVertices), FLine);
        Point3D p = v.P[0];
        if (!mesh && !polyface && !(flags & 8) && p.z == 0) p.z = e.P[0].z; // 2D: the polyline's elevation
        FPoints.push_back(p);
        FBulges.push_back(v.Scale42);
        anyBulge = anyBulge || v.Scale42 != 0;
    }
    if (mesh) {
        if (qint64(e.I71) * e.I72 != qint64(vertexRecords) || e.I71 <= 0) return nullptr; // silently dropped
        return std::make_unique<Polygon_mesh_>(int(FPoints.size()), e.Colour62, flags, FPoints.data(), e.I72, e.I71);
    }
    if (polyface)
        return std::make_unique<Polyface_mesh_>(int(FPoints.size()), e.Colour62, FFaces, FPoints.data());
    return std::make_unique<Polyline_>(NormalOf(e), flags & 1, e.Colour62, FPoints,
                                       anyBulge ? FBulges : std::vector<double>());
}

std::unique_ptr<DXF_Entity> DXF_Reader::ReadLwPolyline(abstract_entity& e) {
    FPoints.clear();
    FBulges.clear();
    while (EntityGroup()) {
        if (CommonGroup(e)) continue;
        switch (FCode) {
        case 70: e.Flags70 = Int(); break;
        case 38: e.Elevation38 = Float(); break;
        case 10:
            if (int(FPoints.size()) >= MaxLwPolylineVertices)
                throw DXF_read_exception(QStringLiteral("LWPOLYLINE contained more than %1 vertices").arg(MaxLwPolylineVertices), FLine);
            FPoints.push_back({Float(), 0, 0});
            FBulges.push_back(0);
            break;
        case 20:
            if (!FPoints.empty()) FPoints.back().y = Float();
            break;
        case 42:
            if (!FBulges.empty()) FBulges.back() = Float();
            break;
        default: break;
        }
    }
    if (FEnded) Fail("LWPOLYLINE");
    for (Point3D& p : FPoints) p.z = e.Elevation38;
    const bool anyBulge = std::any_of(FBulges.begin(), FBulges.end(), [](double b) { return b != 0; });
    return std::make_unique<LwPolyline_>(NormalOf(e), e.Flags70 & 1, e.Colour62, FPoints,
                                         anyBulge ? FBulges : std::vector<double>());
}

std::unique_ptr<DXF_Entity> DXF_Reader::ReadSpline(abstract_entity& e) {
    FPoints.clear();
    FFitPoints.clear();
    FKnots.clear();
    FWeights.clear();
    auto limit = [&](size_t n) {
        if (n >= size_t(MaxLwPolylineVertices))
            throw DXF_read_exception(QStringLiteral("SPLINE contained more than %1 points").arg(MaxLwPolylineVertices), FLine);
    };
    while (EntityGroup()) {
        if (CommonGroup(e)) continue;
        switch (FCode) {
        case 70: e.Flags70 = Int(); break;
        case 71: e.I71 = Int(); break;
        case 40: limit(FKnots.size()); FKnots.push_back(Float()); break;
        case 41: limit(FWeights.size()); FWeights.push_back(Float()); break;
        case 10: limit(FPoints.size()); FPoints.push_back({Float(), 0, 0}); break;
        case 20: if (!FPoints.empty()) FPoints.back().y = Float(); break;
        case 30: if (!FPoints.empty()) FPoints.back().z = Float(); break;
        case 11: limit(FFitPoints.size()); FFitPoints.push_back({Float(), 0, 0}); break;
        case 21: if (!FFitPoints.empty()) FFitPoints.back().y = Float(); break;
        case 31: if (!FFitPoints.empty()) FFitPoints.back().z = Float(); break;
        default: break;
        }
    }
    if (FEnded) Fail("SPLINE");
    if (FPoints.size() < 2 && FFitPoints.size() < 2) return nullptr;
    return std::make_unique<Spline_>(NormalOf(e), e.Colour62, e.Flags70, e.I71 > 0 ? e.I71 : 3, FKnots, FWeights,
                                     FPoints, FFitPoints);
}

std::unique_ptr<DXF_Entity> DXF_Reader::ReadMText(abstract_entity& e) {
    FTextBuffer.clear();
    std::string_view last;
    e.I71 = 1;
    e.Spacing44 = 1;
    while (EntityGroup()) {
        if (CommonGroup(e)) continue;
        switch (FCode) {
        case 1: last = FValue; break;
        case 3: FTextBuffer.append(FValue); break; // chunks before the last part
        case 10: e.P[0].x = Float(); break;
        case 20: e.P[0].y = Float(); break;
        case 30: e.P[0].z = Float(); break;
        case 11: e.P[1].x = Float(); break;
        case 21: e.P[1].y = Float(); break;
        case 31: e.P[1].z = Float(); break;
        case 40: e.Size40 = Float(); break;
        case 44: e.Spacing44 = Float(); break;
        case 50: e.Angle50 = Float(); break;
        case 71: e.I71 = Int(); break;
        default: break;
        }
    }
    if (FEnded) Fail("MTEXT");
    FTextBuffer.append(last);
    return std::make_unique<MText_>(NormalOf(e), e.Colour62, e.P[0], e.Size40, e.Angle50, e.P[1], e.I71, e.Spacing44,
                                    DecodeDxfString(FTextBuffer));
}

std::unique_ptr<DXF_Entity> DXF_Reader::ReadHatch(abstract_entity& e) {
    std::vector<std::vector<Point3D>> paths;
    bool solid = false, pathsRead = false;
    double elevation = 0;
    while (EntityGroup()) {
        if (CommonGroup(e)) continue;
        if (pathsRead) continue; // pattern data and seed points
        switch (FCode) {
        case 30: elevation = Float(); break;
        case 70: solid = Int() & 1; break;
        case 91: {
            const int count = Int();
            for (int i = 0; i < count; ++i) paths.push_back(ReadHatchPath(elevation));
            pathsRead = true;
            break;
        }
        default: break;
        }
    }
    if (FEnded) Fail("HATCH");
    return std::make_unique<Hatch_>(NormalOf(e), e.Colour62, std::move(paths), solid);
}

std::vector<Point3D> DXF_Reader::ReadHatchPath(double z) {
    constexpr const char* kHatch = "HATCH";
    std::vector<Point3D> out;
    auto add = [&](const Point3D& p) {
        if (out.empty() || !(Distance2D2(out.back(), p) < 1e-20)) out.push_back(p);
    };
    auto xy = [&](int cx) {
        Expect(cx, kHatch);
        const double x = Float();
        Expect(cx + 10, kHatch);
        return Point3D{x, Float(), z};
    };
    auto number = [&](int code) {
        Expect(code, kHatch);
        return Float();
    };
    auto integer = [&](int code) {
        Expect(code, kHatch);
        return Int();
    };
    constexpr int kArcSegments = 64;
    const int flags = integer(92);
    if (flags & 2) { // polyline path
        const bool bulges = integer(72) != 0;
        integer(73); // closed: a boundary always is
        const int n = integer(93);
        std::vector<Point3D> v;
        std::vector<double> b;
        for (int i = 0; i < n; ++i) {
            v.push_back(xy(10));
            b.push_back(bulges && Optional(42) ? Float() : 0.0);
        }
        if (!v.empty()) out.push_back(v[0]);
        for (size_t i = 0; i < v.size() && v.size() > 1; ++i) {
            const Point3D& a = v[i];
            const Point3D& c = v[(i + 1) % v.size()];
            const double chord = Distance2D(a, c);
            AppendBulge(out, a, c, b[i], chord > 0 ? 20.0 / chord : 1.0);
        }
    } else {
        const int edges = integer(93);
        std::vector<Point3D> arc;
        for (int i = 0; i < edges; ++i) {
            const int type = integer(72);
            arc.clear();
            if (type == 1) {
                add(xy(10));
                add(xy(11));
                continue;
            }
            if (type == 2 || type == 3) {
                const Point3D c = xy(10);
                Point3D u, v;
                if (type == 2) {
                    const double r = number(40);
                    u = {r, 0, 0}, v = {0, r, 0};
                } else {
                    const Point3D m = xy(11);
                    const double ratio = number(40);
                    u = {m.x, m.y, 0}, v = {-m.y * ratio, m.x * ratio, 0};
                }
                const double s = number(50) * kDegree, t = number(51) * kDegree;
                const bool ccw = integer(73) != 0;
                double sweep = std::fmod(t - s, 2 * 3.14159265358979323846);
                if (!(sweep > 1e-12)) sweep += 2 * 3.14159265358979323846;
                if (ccw) {
                    AppendEllipseArc(arc, c, u, v, s, sweep, std::max(2, int(kArcSegments * sweep / 6.2832)));
                } else { // clockwise arcs are written with negated angles
                    AppendEllipseArc(arc, c, u, v, -s, -sweep, std::max(2, int(kArcSegments * sweep / 6.2832)));
                }
                for (Point3D& p : arc) p.z = z, add(p);
                continue;
            }
            if (type == 4) {
                const int degree = integer(94);
                const bool rational = integer(73) != 0;
                const bool periodic = integer(74) != 0;
                const int knots = integer(95), controls = integer(96);
                std::vector<double> k, w;
                std::vector<Point3D> cp;
                for (int j = 0; j < knots; ++j) k.push_back(number(40));
                for (int j = 0; j < controls; ++j) {
                    cp.push_back(xy(10));
                    if (rational && Optional(42)) w.push_back(Float());
                }
                if (Optional(97)) {
                    const int fit = Int();
                    for (int j = 0; j < fit; ++j) xy(11);
                    if (Optional(12)) Expect(22, kHatch);
                    if (Optional(13)) Expect(23, kHatch);
                }
                EvaluateSpline(arc, degree, k, w, cp, periodic, 4096);
                for (Point3D& p : arc) p.z = z, add(p);
                continue;
            }
            Fail(kHatch);
        }
    }
    if (Optional(97)) { // the boundary objects it was made from
        const int n = Int();
        for (int i = 0; i < n && Optional(330); ++i) {
        }
    }
    return out;
}

// Reader of ASCII DXF files (R12 to 2018): sections found by name, the header extents, the layer table,
// block definitions and the entities the drawing shows. The file is scanned in place: groups are views
// into the bytes, numbers are parsed without copies, names are compared without building strings.
#pragma once

#include "formats/cad/DXF_structs.h"

#include <QByteArray>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// A read error: the message and the line at or near which it happened (negative when unknown).
class DXF_read_exception : public Exception {
public:
    DXF_read_exception(const QString& message, int lineNumber);
    int LineNumber() const { return FLine; }
    const QString& Reason() const { return FReason; }

private:
    QString FReason;
    int FLine;
};

// The groups of one entity, collected before the entity is built. Texts are views into the file.
struct abstract_entity {
    std::string_view Text1, Name2, Prompt3, Layer8;
    Point3D P[4];
    double Elevation38 = 0, Thickness39 = 0, Size40 = 0, Scale41 = 0, Scale42 = 0, Scale43 = 0;
    double Spacing44 = 0, Spacing45 = 0, Angle50 = 0, Angle51 = 0;
    int Colour62 = 0, Follow66 = 0, Space67 = 0, Flags70 = 0, I71 = 0, I72 = 0, I73 = 0, I74 = 0;
    Point3D Extrusion{0, 0, 1};
};

class DXF_Reader {
public:
    using TProgress = std::function<void(int percent)>;
    static constexpr int MaxPolylineVertices = 8192;
    static constexpr int MaxPolyfaceFaces = 4096;
    static constexpr int MaxLwPolylineVertices = 1 << 20;
    static constexpr int MaxMessages = 100;

    // The reader works on its own copy of the bytes (shared, not duplicated, when data is not changed).
    explicit DXF_Reader(const QByteArray& data, TProgress progress = {});
    DXF_Reader(const DXF_Reader&) = delete;
    DXF_Reader& operator=(const DXF_Reader&) = delete;
    ~DXF_Reader();

    // Reads everything it can. Always true; what could not be read is listed in Messages().
    bool ReadFile();
    Point3D ExtentsMin() const { return FExtMin; }
    Point3D ExtentsMax() const { return FExtMax; }
    std::vector<std::unique_ptr<DXF_Layer>> TakeLayers() { return std::move(FLayers); }
    // The errors met (entities dropped, sections cut short), each with its line number.
    const QStringList& Messages() const { return FMessages; }
    int LineCount() const { return FLine; }
    // True once a section or the end-of-file marker was met: the bytes are a DXF file, even one that
    // holds nothing to draw.
    bool Recognised() const { return FRecognised; }

private:
    struct TSvHash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    struct TPendingInsert {
        Insert_* Entity;
        int Line;
        bool InBlock;
    };

    // Groups
    bool ReadLine(std::string_view& line);
    bool Next();
    void PushBack() { FPushed = true; }
    bool Is(const char* name) const;
    double Float() const;
    int Int() const;
    QString Text() const;
    bool EntityGroup();
    bool SectionEnd();
    void Expect(int code, const char* entity);
    bool Optional(int code);
    void AddMessage(const QString& message);
    [[noreturn]] void Fail(const char* entity) const;

    // Sections
    void ReadSection();
    void SkipSection();
    void ReadHeader();
    void ReadHeaderPoint(Point3D& p, bool& ok);
    void ReadTables();
    void ReadLayerTable();
    void ReadBlocks();
    void ReadBlock();
    void ReadEntities();
    void ReadEntityInto(Block_* block);
    void Finish();

    // Entities
    bool Collect(abstract_entity& e);
    int LayerIndex(std::string_view name);
    std::unique_ptr<DXF_Entity> ReadEntity(int& layer, bool& paper, bool inBlock);
    std::unique_ptr<DXF_Entity> ReadInsert(abstract_entity& e, bool inBlock);
    std::unique_ptr<DXF_Entity> ReadPolyline(abstract_entity& e);
    std::unique_ptr<DXF_Entity> ReadLwPolyline(abstract_entity& e);
    std::unique_ptr<DXF_Entity> ReadSpline(abstract_entity& e);
    std::unique_ptr<DXF_Entity> ReadMText(abstract_entity& e);
    std::unique_ptr<DXF_Entity> ReadHatch(abstract_entity& e);
    std::vector<Point3D> ReadHatchPath(double elevation);
    bool CommonGroup(abstract_entity& e);

    QByteArray FData;
    const char* FBegin = nullptr;
    const char* FCur = nullptr;
    const char* FEnd = nullptr;
    int FLine = 0;
    int FCode = -2;
    std::string_view FValue;
    bool FPushed = false;
    bool FEnded = false;
    bool FRecognised = false;
    TProgress FProgress;
    int FLastPercent = 0;
    unsigned FGroupsSinceProgress = 0;

    std::vector<std::unique_ptr<DXF_Layer>> FLayers;
    std::unordered_map<std::string, int, TSvHash, std::equal_to<>> FLayerIndex;
    std::string FLastLayerName;
    int FLastLayer = -1;
    DXF_BlockIndex FBlocks;
    std::vector<TPendingInsert> FInserts;
    std::vector<std::pair<int, std::unique_ptr<DXF_Entity>>> FPaperEntities;
    qint64 FModelEntities = 0;

    Point3D FExtMin, FExtMax, FHeaderMin, FHeaderMax;
    bool FHeaderMinOk = false, FHeaderMaxOk = false;
    QStringList FMessages;

    // Scratch storage reused from entity to entity.
    std::vector<Point3D> FPoints, FFitPoints;
    std::vector<double> FBulges, FKnots, FWeights;
    std::vector<Polyface_mesh_::TFace> FFaces;
    std::string FTextBuffer;
};

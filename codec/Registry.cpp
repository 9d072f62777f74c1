#include "codec/Registry.h"

#include "codec/Stream.h"

#include <QFile>
#include <QFileInfo>
#include <QMap>

#include <algorithm>
#include <mutex>

namespace {

// The central table, in registration order. Extensions marked late come after the others in "All images".
const std::vector<TStartupFormat> GStartupTable = {
    {"BMP", "Windows bitmaps", "", "TBitmap"},
    {"ICO", "Windows icons", "", "TIcon"},
    {"WMF", "Windows metafiles", "", "TMetafile"},
    {"EMF", "Windows metafiles", "Windows enhanced meta files", "TMetafile"},
    {"JFIF", "JPEG images", "JFIF images", "TJpegGraphic"},
    {"JIF", "", "JFIF images", "TJpegGraphic"},
    {"JPG", "", "JPEG images", "TJpegGraphic"},
    {"JPE", "", "JPE images", "TJpegGraphic"},
    {"JPEG", "", "JPEG images", "TJpegGraphic"},
    {"PNG", "Portable network graphic", "", "TPngGraphic"},
    {"TGA", "Truevision TARGA", "", "TTgaGraphic"},
    {"VST", "", "", "TTgaGraphic"},
    {"AFI", "", "", "TTgaGraphic"},
    {"PCX", "ZSoft Paintbrush", "", "TPcxGraphic"},
    {"PCC", "", "", "TPcxGraphic"},
    {"DCX", "Multi-Paged PCX", "", "TDcxGraphic"},
    {"SCR", "Word 5.x screen capture images", "", "TScrGraphic"},
    {"TIFF", "Tagged image file format", "Macintosh TIFF", "TTiffGraphic"},
    {"TIF", "", "PC TIF images", "TTiffGraphic"},
    {"GIF", "CompuServe (87a, 89a)", "", "TGIFImage"},
    {"IMG", "GEM Paint", "", "TImgImage"},
    {"MAC", "MacPaint Picture", "", "TMACImage"},
    {"UFO", "UFO Images", "", "TUFOImage"},
    {"PCD", "Kodak Photo-CD images", "", "TPCDImage"},
    {"DXF", "Autodesk DXF Images", "", "TDXFImage"},
    {"SLD", "Autodesk SLD Images", "", "Tslide"},
    {"WBMP", "Wireless Bitmap", "", "TWBitmap"},
    {"EPS", "Encapsulated Postscript", "", "TEPSGraphic"},
    {"ANI", "Windows animated cursor", "", "TAniGraphic"},
    {"CIF", "Encrypted Image File", "", "TCIFGraphic"},
    {"CUR", "Windows cursor", "", "TCursorGraphic"},
    {"PTF", "Plain text file", "", "TTxtGraphic"},
    {"HGL", "HPGL Graphic", "", "THPGL2Graphic"},
    {"PLT", "", "", "THPGL2Graphic"},
    {"HG", "", "", "THPGL2Graphic"},
    {"HPG", "", "", "THPGL2Graphic"},
    {"PLO", "", "", "THPGL2Graphic"},
    {"AVI", "Audio/Video Interleave Files", "", "TAVIGraphic"},
    {"RLE", "", "Run length encoded Windows bitmaps", "TBitmap"},
    {"DIB", "", "Device independant Windows bitmaps", "TBitmap"},
    {"RPF", "Alias/Wavefront images", "", "TRLAGraphic"},
    {"RLA", "", "", "TRLAGraphic"},
    {"SGI", "SGI images", "SGI true color images", "TSGIGraphic"},
    {"RGBA", "", "SGI true color images with alpha", "TSGIGraphic"},
    {"RGB", "", "SGI true color images", "TSGIGraphic"},
    {"BW", "", "SGI black/white images", "TSGIGraphic"},
    {"PSD", "Photoshop images", "", "TPSDGraphic"},
    {"PDD", "", "", "TPSDGraphic"},
    {"PPM", "Portable map images", "Portable pixel map images", "TPPMGraphic"},
    {"PGM", "", "Portable gray map images", "TPPMGraphic"},
    {"PBM", "", "Portable bitmap images", "TPPMGraphic"},
    {"CEL", "Autodesk images", "", "TAutodeskGraphic"},
    {"PIC", "", "", "TAutodeskGraphic"},
    {"CUT", "Dr. Halo images", "", "TCUTGraphic"},
    {"PSP", "Paintshop Pro images", "", "TPSPGraphic"},
};

// Today's formats, beside the start-up table.
const std::vector<TStartupFormat> GModernTable = {
    {"WEBP", "WebP images", "", "TWebPGraphic"},
    {"AVIF", "AV1 images", "", "TAvifGraphic"},
    {"HEIC", "HEIF images", "HEIC images", "THeifGraphic"},
    {"HEIF", "", "HEIF images", "THeifGraphic"},
    {"HIF", "", "HEIF images", "THeifGraphic"},
    {"JXL", "JPEG XL images", "", "TJxlGraphic"},
    {"EXR", "OpenEXR images", "", "TExrGraphic"},
    {"DNG", "Camera RAW images", "Digital negatives", "TRawGraphic"},
    {"CR2", "", "Canon RAW images", "TRawGraphic"},
    {"CR3", "", "Canon RAW images", "TRawGraphic"},
    {"NEF", "", "Nikon RAW images", "TRawGraphic"},
    {"ARW", "", "Sony RAW images", "TRawGraphic"},
    {"ORF", "", "Olympus RAW images", "TRawGraphic"},
    {"RAF", "", "Fujifilm RAW images", "TRawGraphic"},
    {"RW2", "", "Panasonic RAW images", "TRawGraphic"},
    {"PEF", "", "Pentax RAW images", "TRawGraphic"},
};

// The twelve extensions that "All images" lists after the alphabetical run of the others.
const QStringList GLateExtensions = {"AFI", "DIB", "HG",  "JFIF", "JIF", "JPE",
                                     "PLO", "PTF", "RGBA", "SCR", "TIFF", "VST"};

std::vector<TGraphicClass>& Catalogue() {
    static std::vector<TGraphicClass> catalogue;
    return catalogue;
}

QString Normalised(QString extension) {
    if (extension.startsWith(QLatin1Char('.'))) extension.remove(0, 1);
    return extension.toLower();
}

struct TFilterPair {
    QString Description;
    QStringList Patterns;
};

// The pairs of the filter text, computed from the whole start-up table (whether or not a class is built in).
std::vector<TFilterPair> FilterPairs(bool openDialog) {
    QStringList early, late;
    QMap<QString, QString> commonOf; // class name -> common description
    QMap<QString, QStringList> extsOf;
    QStringList classOrder;
    for (const auto& row : GStartupTable) {
        const QString cls = QString::fromLatin1(row.ClassName);
        const QString ext = QString::fromLatin1(row.Extension);
        if (!classOrder.contains(cls)) classOrder << cls;
        if (*row.Common) commonOf[cls] = QString::fromLatin1(row.Common);
        extsOf[cls] << ext;
        (GLateExtensions.contains(ext) ? late : early) << QStringLiteral("*.") + ext;
    }
    early.sort();
    late.sort();
    std::vector<TFilterPair> pairs;
    for (const QString& cls : classOrder) {
        QStringList patterns;
        QStringList exts = extsOf[cls];
        exts.sort();
        for (const QString& e : exts) patterns << QStringLiteral("*.") + e;
        pairs.push_back({commonOf[cls] + QStringLiteral(" (") + patterns.join(QLatin1Char(';')) + QLatin1Char(')'),
                         patterns});
    }
    std::stable_sort(pairs.begin(), pairs.end(), [](const TFilterPair& a, const TFilterPair& b) {
        return QString::compare(a.Description, b.Description, Qt::CaseInsensitive) < 0;
    });
    QStringList all = early;
    if (!openDialog) all += late;
    pairs.insert(pairs.begin(), TFilterPair{QStringLiteral("All images"), all});
    return pairs;
}

QString FilterText(bool openDialog) {
    QStringList parts;
    for (const auto& pair : FilterPairs(openDialog)) parts << pair.Description << pair.Patterns.join(QLatin1Char(';'));
    return parts.join(QLatin1Char('|'));
}

} // namespace

void TFileFormatsList::Add(const QString& extension, const QString& description, TGraphicClass graphicClass) {
    FEntries.push_back({Normalised(extension), description, graphicClass});
}

TGraphicClass TFileFormatsList::FindExt(const QString& extension) const {
    const QString ext = Normalised(extension);
    for (auto it = FEntries.rbegin(); it != FEntries.rend(); ++it)
        if (it->Extension == ext) return it->GraphicClass;
    return nullptr;
}

void TFileFormatList::Register(const QString& extension, const QString& common, const QString& individual,
                               TGraphicClass graphicClass) {
    if (extension.isEmpty()) return;
    for (const auto& e : FExtensions)
        if (QString::compare(e.Extension, extension, Qt::CaseInsensitive) == 0)
            throw EInvalidGraphicOperation(QStringLiteral("Attempt to register %1 twice.").arg(extension));
    int classIndex = -1;
    for (size_t i = 0; i < FClasses.size(); ++i)
        if (FClasses[i].GraphicClass == graphicClass) classIndex = int(i);
    if (classIndex < 0) {
        FClasses.push_back({graphicClass, QString(), 0});
        classIndex = int(FClasses.size()) - 1;
    }
    FExtensions.push_back({extension, individual, classIndex});
    TClassEntry& entry = FClasses[size_t(classIndex)];
    if (!common.isEmpty()) entry.Common = common;
    entry.Count++;
    RegisterFormat(extension, individual.isEmpty() ? entry.Common : individual, graphicClass);
}

TGraphicClass TFileFormatList::FindClassByContent(QIODevice& stream) const {
    const qint64 start = stream.pos();
    for (const auto& entry : FClasses) {
        if (!entry.GraphicClass->IsContentTestable()) continue;
        stream.seek(start);
        bool accepted = false;
        try {
            accepted = entry.GraphicClass->AcceptsContent(stream);
        } catch (const Exception&) {
            accepted = false; // a test that cannot read enough simply does not accept
        }
        stream.seek(start);
        if (accepted) return entry.GraphicClass;
    }
    return nullptr;
}

void TFileFormatList::Clear() {
    FExtensions.clear();
    FClasses.clear();
}

TFileFormatsList& FileFormats() {
    static TFileFormatsList list;
    return list;
}

TFileFormatList& CentralFormats() {
    static TFileFormatList list;
    return list;
}

void RegisterFormat(const QString& extension, const QString& description, TGraphicClass graphicClass) {
    RegisterGraphicClass(graphicClass);
    FileFormats().Add(extension, description, graphicClass);
}

TGraphicClass GraphicClassByExtension(QString extension) { return FileFormats().FindExt(extension); }

TGraphicClass FindClassByContent(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EInvalidGraphic(QStringLiteral("Cannot open %1: %2").arg(fileName, file.errorString()));
    return CentralFormats().FindClassByContent(file);
}

std::unique_ptr<TGraphic> CreateGraphicFor(const QString& fileName) {
    TGraphicClass cls = FindClassByContent(fileName);
    if (!cls) {
        const QString ext = QFileInfo(fileName).suffix();
        cls = GraphicClassByExtension(ext);
        if (!cls) {
            if (const TStartupFormat* row = FindStartupFormat(ext); row && !ext.isEmpty())
                throw EInvalidGraphic(QStringLiteral("No reader for .%1 files (%2) is built into this version")
                                          .arg(ext, QString::fromLatin1(row->ClassName)));
            throw EInvalidGraphic(QStringLiteral("Unknown picture file extension (.%1)").arg(ext));
        }
    }
    return cls->Create();
}

void RegisterGraphicClass(TGraphicClass graphicClass) {
    if (!graphicClass) return;
    auto& catalogue = Catalogue();
    if (std::find(catalogue.begin(), catalogue.end(), graphicClass) == catalogue.end())
        catalogue.push_back(graphicClass);
}

TGraphicClass FindGraphicClass(const QString& className) {
    for (TGraphicClass c : Catalogue())
        if (c->ClassName == className) return c;
    return nullptr;
}

const std::vector<TStartupFormat>& StartupTable() { return GStartupTable; }

void RegisterStartupTable() {
    for (const auto& row : GStartupTable) {
        TGraphicClass cls = FindGraphicClass(QString::fromLatin1(row.ClassName));
        if (!cls) continue;
        CentralFormats().Register(QString::fromLatin1(row.Extension), QString::fromLatin1(row.Common),
                                  QString::fromLatin1(row.Individual), cls);
    }
}

std::vector<TStartupFormat> MissingStartupFormats() {
    std::vector<TStartupFormat> missing;
    for (const auto& row : GStartupTable)
        if (!FindGraphicClass(QString::fromLatin1(row.ClassName))) missing.push_back(row);
    return missing;
}

const TStartupFormat* FindStartupFormat(const QString& extension) {
    const QString ext = Normalised(extension);
    for (const auto& row : GStartupTable)
        if (QString::fromLatin1(row.Extension).toLower() == ext) return &row;
    return nullptr;
}

QString GraphicFilter() { return FilterText(false); }
QString OpenDialogFilter() { return FilterText(true); }

const std::vector<TStartupFormat>& ModernFormatTable() { return GModernTable; }

void RegisterModernTable() {
    for (const auto& row : GModernTable) {
        TGraphicClass cls = FindGraphicClass(QString::fromLatin1(row.ClassName));
        if (!cls) continue;
        CentralFormats().Register(QString::fromLatin1(row.Extension), QString::fromLatin1(row.Common),
                                  QString::fromLatin1(row.Individual), cls);
    }
}

namespace {

QString FullFilterText(bool openDialog) {
    QStringList parts = FilterText(openDialog).split(QLatin1Char('|'));
    QStringList classOrder, all;
    QMap<QString, QString> commonOf;
    QMap<QString, QStringList> patternsOf;
    for (const auto& row : GModernTable) {
        const QString cls = QString::fromLatin1(row.ClassName);
        if (!FindGraphicClass(cls)) continue;
        if (!classOrder.contains(cls)) classOrder << cls;
        if (*row.Common) commonOf[cls] = QString::fromLatin1(row.Common);
        const QString pattern = QStringLiteral("*.") + QString::fromLatin1(row.Extension);
        patternsOf[cls] << pattern;
        all << pattern;
    }
    if (all.isEmpty()) return parts.join(QLatin1Char('|'));
    parts[1] += QLatin1Char(';') + all.join(QLatin1Char(';'));
    for (const QString& cls : classOrder) {
        const QString patterns = patternsOf[cls].join(QLatin1Char(';'));
        parts << commonOf[cls] + QStringLiteral(" (") + patterns + QLatin1Char(')') << patterns;
    }
    return parts.join(QLatin1Char('|'));
}

} // namespace

QString FullGraphicFilter() { return FullFilterText(false); }
QString FullOpenDialogFilter() { return FullFilterText(true); }

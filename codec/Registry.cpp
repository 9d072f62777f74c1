#include "codec/Registry.h"

#include "codec/Stream.h"

#include <QFile>
#include <QFileInfo>
#include <QMap>

#include <algorithm>
#include <mutex>

namespace {



// The twelve extensions that "All images" lists after the alphabetical run of the others.
const QStringList GLateExtensions = {"AFI", "DIB", "HG",  "JFIF", "JIF", "JPE",
                                     "PLO", "PTF", "RGBA", "SCR", "TIFF", "VST"};

std::vector<TGraphicClass>& Catalogue() {
    static std::vector<TGraphicClass> catalogue;
    return catalogue;
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
    for (const auto& row : StartupTable()) {
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
    FEntries.push_back({NormalisedExtension(extension), description, graphicClass});
}

TGraphicClass TFileFormatsList::FindExt(const QString& extension) const {
    const QString ext = NormalisedExtension(extension);
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

void RegisterStartupTable() {
    for (const auto& row : StartupTable()) {
        TGraphicClass cls = FindGraphicClass(QString::fromLatin1(row.ClassName));
        if (!cls) continue;
        CentralFormats().Register(QString::fromLatin1(row.Extension), QString::fromLatin1(row.Common),
                                  QString::fromLatin1(row.Individual), cls);
    }
}

std::vector<TStartupFormat> MissingStartupFormats() {
    std::vector<TStartupFormat> missing;
    for (const auto& row : StartupTable())
        if (!FindGraphicClass(QString::fromLatin1(row.ClassName))) missing.push_back(row);
    return missing;
}


QString GraphicFilter() { return FilterText(false); }
QString OpenDialogFilter() { return FilterText(true); }

void RegisterModernTable() {
    for (const auto& row : ModernFormatTable()) {
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
    for (const auto& row : ModernFormatTable()) {
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

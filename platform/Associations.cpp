#include "platform/Associations.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QMimeDatabase>
#include <QPainter>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

const std::vector<TFileTypeRow>& FileTypeRows() {
    static const std::vector<TFileTypeRow> rows = {
        {"ANI", "Windows animated cursor", "ANI"},
        {"AVI", "Audio/Video Interleave Files", "AVI"},
        {"BMP", "Windows bitmaps", "BMP,DIB,RLE"},
        {"CEL", "Autodesk CEL images", "CEL"},
        {"CIF", "Encrypted image files", "CIF"},
        {"CUR", "Windows cursor", "CUR"},
        {"CUT", "Dr. Halo images", "CUT"},
        {"DCX", "Multi-paged PCX", "DCX"},
        {"DXF", "Autodesk DXF images", "DXF"},
        {"EMF", "Windows enhanced metafile", "EMF"},
        {"EPS", "Encapsulated Postscript", "EPS"},
        {"GIF", "CompuServe (87a, 89a)", "GIF"},
        {"HGL", "HPGL&HPGL/2 Graphics", "HG,HGL,HPG,PLO,PLT"},
        {"ICON", "Windows icons", "ICO"},
        {"IMG", "GEM Paint", "IMG"},
        {"JPEG", "JPEG images", "JPE,JPEG,JPG,JFIF,JIF"},
        {"MAC", "MacPaint Picture", "MAC"},
        {"PCD", "Kodak Photo-CD images", "PCD"},
        {"PCX", "ZSoft Paintbrush", "PCC,PCX"},
        {"PIC", "Autodesk PIC images", "PIC"},
        {"PNG", "Portable network graphic", "PNG"},
        {"PPM", "Portable map images", "PBM,PGM,PPM"},
        {"PSD", "Photoshop images", "PSD,PDD"},
        {"PSP", "Paintshop Pro images", "PSP"},
        {"PTF", "Plain text file", "PTF"},
        {"RLA", "Alias/Wavefront images", "RLA,RPF"},
        {"SCR", "Word 5.x screen capture images", "SCR"},
        {"SGI", "SGI images", "BW,RGB,RGBA,SGI"},
        {"SLD", "Autodesk SLD images", "SLD"},
        {"TGA", "Truevision TARGA", "AFI,TGA,VST"},
        {"TIFF", "Tagged image file format", "TIF,TIFF"},
        {"UFO", "UFO images", "UFO"},
        {"WBMP", "Wireless bitmap", "WBMP"},
        {"WMF", "Windows metafile", "WMF"},
    };
    return rows;
}

QStringList SplitExtensions(const QString& extensions) {
    QStringList result;
    QString part;
    for (const QChar ch : extensions + QLatin1Char(',')) {
        if (ch == QLatin1Char(',') || ch.isSpace()) {
            if (!part.isEmpty()) result << part;
            part.clear();
        } else {
            part += ch;
        }
    }
    return result;
}

namespace {

QString Bare(const QString& extension) {
    return extension.startsWith(QLatin1Char('.')) ? extension.mid(1) : extension;
}

QString EntryId(const QString& extension) {
    return QStringLiteral("lumenor-") + AssociationClassName(extension) + QStringLiteral(".desktop");
}

const QString kOwnTypePrefix = QStringLiteral("image/x-lumenor-");

// A freedesktop key file (mimeapps.list and our undo list) edited line by line, so that groups, keys
// and comments we do not touch stay as they were.
class TKeyFile {
public:
    explicit TKeyFile(const QString& path) : FPath(path) {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly))
            for (const QByteArray& line : f.readAll().split('\n')) FLines << QString::fromUtf8(line);
        while (!FLines.isEmpty() && FLines.last().isEmpty()) FLines.removeLast();
    }

    QString Value(const QString& group, const QString& key) const {
        const int at = Find(group, key);
        return at < 0 ? QString() : FLines[at].mid(FLines[at].indexOf(QLatin1Char('=')) + 1).trimmed();
    }
    void SetValue(const QString& group, const QString& key, const QString& value) {
        const QString line = key + QLatin1Char('=') + value;
        const int at = Find(group, key);
        if (at >= 0) {
            FLines[at] = line;
            return;
        }
        int header = GroupLine(group);
        if (header < 0) {
            if (!FLines.isEmpty()) FLines << QString();
            FLines << QLatin1Char('[') + group + QLatin1Char(']');
            header = int(FLines.size()) - 1;
        }
        int end = header + 1;
        while (end < FLines.size() && !FLines[end].trimmed().startsWith(QLatin1Char('['))) ++end;
        while (end > header + 1 && FLines[end - 1].trimmed().isEmpty()) --end; // before the blank line
        FLines.insert(end, line);
    }
    void Remove(const QString& group, const QString& key) {
        const int at = Find(group, key);
        if (at >= 0) FLines.removeAt(at);
    }
    bool Save() const {
        QDir().mkpath(QFileInfo(FPath).absolutePath());
        QSaveFile f(FPath);
        if (!f.open(QIODevice::WriteOnly)) return false;
        f.write((FLines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
        return f.commit();
    }

private:
    int GroupLine(const QString& group) const {
        const QString header = QLatin1Char('[') + group + QLatin1Char(']');
        for (int i = 0; i < FLines.size(); ++i)
            if (FLines[i].trimmed() == header) return i;
        return -1;
    }
    int Find(const QString& group, const QString& key) const {
        const int header = GroupLine(group);
        if (header < 0) return -1;
        for (int i = header + 1; i < FLines.size(); ++i) {
            const QString t = FLines[i].trimmed();
            if (t.startsWith(QLatin1Char('['))) break;
            const int eq = t.indexOf(QLatin1Char('='));
            if (eq > 0 && t.left(eq).trimmed() == key) return i;
        }
        return -1;
    }

    QString FPath;
    QStringList FLines;
};

const QString kDefaults = QStringLiteral("Default Applications");
const QString kUndo = QStringLiteral("Undo");

QStringList Handlers(const QString& value) {
    QStringList list = value.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString& h : list) h = h.trimmed();
    list.removeAll(QString());
    return list;
}

bool WriteText(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return false;
    f.write(text);
    return f.commit();
}

QString XmlEscaped(const QString& s) {
    return s.toHtmlEscaped();
}

// A desktop entry value: backslashes doubled, line breaks escaped.
QString EntryValue(const QString& s) {
    QString r;
    for (const QChar ch : s) {
        if (ch == QLatin1Char('\\')) r += QStringLiteral("\\\\");
        else if (ch == QLatin1Char('\n')) r += QStringLiteral("\\n");
        else if (ch == QLatin1Char('\t')) r += QStringLiteral("\\t");
        else if (ch == QLatin1Char('\r')) r += QStringLiteral("\\r");
        else r += ch;
    }
    return r;
}

} // namespace

QString AssociationClassName(const QString& extension) {
    return Bare(extension) + QStringLiteral("_LN");
}

QString AssociationDescription(const QString& extension) {
    return QStringLiteral("Lumenor ") + Bare(extension) + QStringLiteral(" Image");
}

// --- Icons ----------------------------------------------------------------------------------------

QString FileTypeIconPath(const QString& format) {
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return data + QStringLiteral("/icons/hicolor/32x32/apps/lumenor-") + format.left(3) + QStringLiteral(".png");
}

QImage MakeFileTypeIcon(const QString& letters, TColor c, const QImage& programIcon) {
    QImage icon(32, 32, QImage::Format_RGB888);
    icon.fill(Qt::white);
    QPainter p(&icon);
    if (!programIcon.isNull()) {
        p.drawImage(QRect(0, 0, 32, 32), programIcon.scaled(32, 32, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    } else {
        // A plain page.
        p.setPen(QColor(128, 128, 128));
        p.drawRect(4, 1, 23, 29);
    }
    p.fillRect(QRect(QPoint(2, 10), QPoint(29, 23)), ToQColor(c));
    static constexpr int kWhite[] = {0, 2, 4, 6, 8, 19, 21, 23, 25, 27};
    bool white = false;
    for (const int k : kWhite) white = white || c == TColor(k) * kFileTypeIconStep;
    p.setPen(white ? Qt::white : Qt::black);
    QFont font;
    font.setFamilies({QStringLiteral("RomanD"), QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")});
    font.setPixelSize(12); // 9 points at 96 dots per inch
    font.setBold(true);
    font.setStyleStrategy(QFont::NoAntialias);
    p.setFont(font);
    const QFontMetrics metrics(font);
    const int x = (28 - metrics.horizontalAdvance(letters)) / 2 + 2;
    p.drawText(x, 9 + metrics.ascent(), letters);
    return icon;
}

bool WriteFileTypeIcon(const QString& path, const QString& letters, TColor c, const QImage& programIcon) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return false;
    if (!MakeFileTypeIcon(letters, c, programIcon).save(&f, "PNG")) {
        f.cancelWriting();
        return false;
    }
    return f.commit();
}

// --- Associations ---------------------------------------------------------------------------------

TAssociations::TAssociations()
    : TAssociations(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation),
                    QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)) {}

TAssociations::TAssociations(QString dataHome, QString configHome)
    : FDataHome(std::move(dataHome)), FConfigHome(std::move(configHome)) {}

QString TAssociations::MimeAppsPath() const {
    return FConfigHome + QStringLiteral("/mimeapps.list");
}

QString TAssociations::UndoPath() const {
    return FConfigHome + QStringLiteral("/lumenor/associations.list");
}

QString TAssociations::OwnMimePath(const QString& extension) const {
    return FDataHome + QStringLiteral("/mime/packages/lumenor-") + AssociationClassName(extension) + QStringLiteral(".xml");
}

QString TAssociations::ClassEntryPath(const QString& extension) const {
    return FDataHome + QStringLiteral("/applications/") + EntryId(extension);
}

bool TAssociations::IsOurHandler(const QString& handler) const {
    return handler.startsWith(QLatin1String("lumenor-")) && handler.endsWith(QLatin1String("_LN.desktop"));
}

QString TAssociations::MimeTypeOf(const QString& extension) const {
    const QString lower = Bare(extension).toLower();
    const QString own = kOwnTypePrefix + lower;
    if (QFileInfo::exists(OwnMimePath(extension))) return own;
    const QList<QMimeType> types = QMimeDatabase().mimeTypesForFileName(QStringLiteral("file.") + lower);
    for (const QMimeType& t : types)
        if (t.isValid() && !t.isDefault()) return t.name();
    return own;
}

QString TAssociations::DefaultHandler(const QString& mimeType) const {
    const QStringList list = Handlers(TKeyFile(MimeAppsPath()).Value(kDefaults, mimeType));
    return list.isEmpty() ? QString() : list.first();
}

QString TAssociations::SavedHandler(const QString& mimeType) const {
    return TKeyFile(UndoPath()).Value(kUndo, mimeType);
}

bool TAssociations::IsAssociated(const QString& extension) const {
    if (Bare(extension).isEmpty()) return false;
    return IsOurHandler(DefaultHandler(MimeTypeOf(extension)));
}

QString TAssociations::ExecLine(const QString& programPath) {
    // Inside double quotes the characters ", `, $ and \ take a backslash; % is doubled as a field code
    // would otherwise start; then the value's own escaping doubles every backslash again.
    QString quoted;
    for (const QChar ch : programPath) {
        if (ch == QLatin1Char('"') || ch == QLatin1Char('`') || ch == QLatin1Char('$') || ch == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        if (ch == QLatin1Char('%')) quoted += QLatin1Char('%');
        quoted += ch;
    }
    return EntryValue(QLatin1Char('"') + quoted + QLatin1Char('"')) + QStringLiteral(" %f");
}

bool TAssociations::Associate(const QString& extension, const QString& description, const QString& iconPath,
                              const QString& programPath) {
    const QString bare = Bare(extension);
    if (bare.isEmpty() || programPath.isEmpty()) return true;
    const QString mime = MimeTypeOf(extension);
    const QString id = EntryId(extension);
    TKeyFile apps(MimeAppsPath());
    QStringList handlers = Handlers(apps.Value(kDefaults, mime));
    const QString old = handlers.isEmpty() ? QString() : handlers.first();
    if (old == id && QFileInfo::exists(ClassEntryPath(extension))) return true; // already ours

    bool ok = true;
    if (mime.startsWith(kOwnTypePrefix)) {
        const QString xml =
            QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
                           "  <mime-type type=\"%1\">\n"
                           "    <comment>%2</comment>\n"
                           "    <generic-icon name=\"image-x-generic\"/>\n"
                           "    <glob pattern=\"*.%3\"/>\n"
                           "  </mime-type>\n"
                           "</mime-info>\n")
                .arg(mime, XmlEscaped(description), XmlEscaped(bare.toLower()));
        ok = WriteText(OwnMimePath(extension), xml.toUtf8()) && ok;
    }
    QString entry = QStringLiteral("[Desktop Entry]\nType=Application\nName=Lumenor\n");
    entry += QStringLiteral("Comment=") + EntryValue(description) + QLatin1Char('\n');
    if (!iconPath.isEmpty()) entry += QStringLiteral("Icon=") + EntryValue(iconPath) + QLatin1Char('\n');
    entry += QStringLiteral("Exec=") + ExecLine(programPath) + QLatin1Char('\n');
    entry += QStringLiteral("MimeType=") + mime + QStringLiteral(";\nTerminal=false\nNoDisplay=true\n");
    entry += QStringLiteral("X-Lumenor-Class=") + AssociationClassName(extension) + QLatin1Char('\n');
    ok = WriteText(ClassEntryPath(extension), entry.toUtf8()) && ok;
    if (!ok) return false;

    // Another program's handler is kept for undo; one of ours never replaces it.
    if (!old.isEmpty() && !IsOurHandler(old)) {
        TKeyFile undo(UndoPath());
        undo.SetValue(kUndo, mime, old);
        if (!undo.Save()) return false;
    }
    handlers.removeAll(id);
    handlers.prepend(id);
    apps.SetValue(kDefaults, mime, handlers.join(QLatin1Char(';')) + QLatin1Char(';'));
    return apps.Save();
}

bool TAssociations::Unassociate(const QString& extension) {
    if (Bare(extension).isEmpty()) return true;
    const QString mime = MimeTypeOf(extension);
    bool ok = true;
    TKeyFile apps(MimeAppsPath());
    QStringList handlers = Handlers(apps.Value(kDefaults, mime));
    if (!handlers.isEmpty() && IsOurHandler(handlers.first())) {
        QStringList rest;
        for (const QString& h : handlers)
            if (!IsOurHandler(h)) rest << h;
        const QString saved = SavedHandler(mime);
        if (!saved.isEmpty()) {
            rest.removeAll(saved);
            rest.prepend(saved);
        }
        if (rest.isEmpty()) apps.Remove(kDefaults, mime);
        else apps.SetValue(kDefaults, mime, rest.join(QLatin1Char(';')) + QLatin1Char(';'));
        ok = apps.Save();
    }
    for (const QString& path : {ClassEntryPath(extension), OwnMimePath(extension)})
        if (QFileInfo::exists(path) && !QFile::remove(path)) ok = false;
    return ok;
}

void TAssociations::NotifyChanged() const {
    const auto run = [](const QString& tool, const QString& folder) {
        const QString program = QStandardPaths::findExecutable(tool);
        if (program.isEmpty() || !QFileInfo(folder).isDir()) return;
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, {folder});
        if (!process.waitForFinished(60000)) process.kill();
    };
    run(QStringLiteral("update-mime-database"), FDataHome + QStringLiteral("/mime"));
    run(QStringLiteral("update-desktop-database"), FDataHome + QStringLiteral("/applications"));
}

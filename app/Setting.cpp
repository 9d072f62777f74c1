#include "app/Setting.h"

#include "platform/SettingsFile.h"

#include <QDir>

namespace {

const QString kSlideShow = QStringLiteral("SlideShow");
const QString kThumbnail = QStringLiteral("Thumbnail");
const QString kMisc = QStringLiteral("Misc");
const QString kDxf = QStringLiteral("Dxf");
const QString kHpgl = QStringLiteral("HPGL");
const QString kSystem = QStringLiteral("System");
const QString kDefault = QStringLiteral("Default");

// An integer within [lo, hi], else def.
qint32 ReadRanged(const TSettingsFile& s, const QString& section, const QString& name, qint32 def, qint64 lo,
                  qint64 hi) {
    const qint64 v = s.ReadInteger(section, name, def);
    return (v < lo || v > hi) ? def : qint32(v);
}

} // namespace

void LoadSettings(TSettings& r, const TSettingsFile& s) {
    const TSettings d;
    r.SlideType = ReadRanged(s, kSlideShow, QStringLiteral("Type"), d.SlideType, 0, 2);
    r.Interval = ReadRanged(s, kSlideShow, QStringLiteral("Interval"), d.Interval, 0, 3600);
    r.Repeat = s.ReadBool(kSlideShow, QStringLiteral("Repeat"), d.Repeat);
    for (int i = 0; i < 5; ++i)
        r.Effects[size_t(i)] = quint32(s.ReadInteger(kSlideShow, QStringLiteral("Effects%1").arg(i), -1));

    r.ThumbWidth = ReadRanged(s, kThumbnail, QStringLiteral("Width"), d.ThumbWidth, 1, 4096);
    r.ThumbHeight = ReadRanged(s, kThumbnail, QStringLiteral("Height"), d.ThumbHeight, 1, 4096);
    r.ThumbBorderWidth = ReadRanged(s, kThumbnail, QStringLiteral("BorderWidth"), d.ThumbBorderWidth, 0, 1024);
    r.ThumbCol = ReadRanged(s, kThumbnail, QStringLiteral("Col"), d.ThumbCol, 1, 32767);
    r.ThumbShowHint = s.ReadBool(kThumbnail, QStringLiteral("ShowHint"), d.ThumbShowHint);

    r.HideMouse = s.ReadBool(kMisc, QStringLiteral("HideMouse"), d.HideMouse);
    r.StayOnTop = s.ReadBool(kMisc, QStringLiteral("StayOnTop"), d.StayOnTop);
    r.BackgroundColor = TColor(s.ReadInteger(kMisc, QStringLiteral("BackgroundColor"), d.BackgroundColor)) & 0xFFFFFFu;
    r.WhiteBG = s.ReadBool(kMisc, QStringLiteral("WhiteBG"), d.WhiteBG);
    r.AutoFitVector = s.ReadBool(kMisc, QStringLiteral("AutoFitVector"), d.AutoFitVector);
    r.PhotoSize = ReadRanged(s, kMisc, QStringLiteral("PhotoSize"), d.PhotoSize, 0, 2);

    r.DxfDrawVertices = s.ReadBool(kDxf, QStringLiteral("DrawVertices"), d.DxfDrawVertices);
    r.DxfFillSolid = s.ReadBool(kDxf, QStringLiteral("FillSolid"), d.DxfFillSolid);
    r.DxfHideBlock = s.ReadBool(kDxf, QStringLiteral("HideBlock"), d.DxfHideBlock);
    r.DxfLineWidth = quint8(ReadRanged(s, kDxf, QStringLiteral("LineWidth"), d.DxfLineWidth, 1, 255));

    r.HpglRealWidth = s.ReadBool(kHpgl, QStringLiteral("RealWidth"), d.HpglRealWidth);
    r.HpglLineWidth = quint8(ReadRanged(s, kHpgl, QStringLiteral("LineWidth"), d.HpglLineWidth, 1, 255));
}

void LoadSettings(TSettings& settings) {
    const TSettingsFile store;
    LoadSettings(settings, store);
}

void SaveSettings(const TSettings& r, TSettingsFile& s) {
    s.WriteInteger(kSlideShow, QStringLiteral("Type"), r.SlideType);
    s.WriteInteger(kSlideShow, QStringLiteral("Interval"), r.Interval);
    s.WriteBool(kSlideShow, QStringLiteral("Repeat"), r.Repeat);
    for (int i = 0; i < 5; ++i)
        s.WriteInteger(kSlideShow, QStringLiteral("Effects%1").arg(i), qint32(r.Effects[size_t(i)]));

    s.WriteInteger(kThumbnail, QStringLiteral("Width"), r.ThumbWidth);
    s.WriteInteger(kThumbnail, QStringLiteral("Height"), r.ThumbHeight);
    s.WriteInteger(kThumbnail, QStringLiteral("BorderWidth"), r.ThumbBorderWidth);
    s.WriteInteger(kThumbnail, QStringLiteral("Col"), r.ThumbCol);
    s.WriteBool(kThumbnail, QStringLiteral("ShowHint"), r.ThumbShowHint);

    s.WriteBool(kMisc, QStringLiteral("HideMouse"), r.HideMouse);
    s.WriteBool(kMisc, QStringLiteral("StayOnTop"), r.StayOnTop);
    s.WriteInteger(kMisc, QStringLiteral("BackgroundColor"), qint32(r.BackgroundColor & 0xFFFFFFu));
    s.WriteBool(kMisc, QStringLiteral("WhiteBG"), r.WhiteBG);
    s.WriteBool(kMisc, QStringLiteral("AutoFitVector"), r.AutoFitVector);
    s.WriteInteger(kMisc, QStringLiteral("PhotoSize"), r.PhotoSize);

    s.WriteBool(kDxf, QStringLiteral("DrawVertices"), r.DxfDrawVertices);
    s.WriteBool(kDxf, QStringLiteral("FillSolid"), r.DxfFillSolid);
    s.WriteBool(kDxf, QStringLiteral("HideBlock"), r.DxfHideBlock);
    s.WriteInteger(kDxf, QStringLiteral("LineWidth"), r.DxfLineWidth);

    s.WriteBool(kHpgl, QStringLiteral("RealWidth"), r.HpglRealWidth);
    s.WriteInteger(kHpgl, QStringLiteral("LineWidth"), r.HpglLineWidth);
}

void SaveSettings(const TSettings& settings) {
    TSettingsFile store;
    SaveSettings(settings, store);
    store.Flush(); // failing writes are not reported
}

TSystemFlags LoadSystemFlags() {
    const TSettingsFile s;
    const TSystemFlags d;
    TSystemFlags f;
    f.ToolBarVisible = s.ReadBool(kSystem, QStringLiteral("ToolBarVisible"), d.ToolBarVisible);
    f.StatusBarVisible = s.ReadBool(kSystem, QStringLiteral("StatusBarVisible"), d.StatusBarVisible);
    f.FileListVisible = s.ReadBool(kSystem, QStringLiteral("FileListVisible"), d.FileListVisible);
    f.ThumbnailVisible = s.ReadBool(kSystem, QStringLiteral("ThumbnailVisible"), d.ThumbnailVisible);
    return f;
}

void SaveSystemFlags(const TSystemFlags& f) {
    TSettingsFile s;
    s.WriteBool(kSystem, QStringLiteral("ToolBarVisible"), f.ToolBarVisible);
    s.WriteBool(kSystem, QStringLiteral("StatusBarVisible"), f.StatusBarVisible);
    s.WriteBool(kSystem, QStringLiteral("FileListVisible"), f.FileListVisible);
    s.WriteBool(kSystem, QStringLiteral("ThumbnailVisible"), f.ThumbnailVisible);
    s.Flush();
}

void RestoreCurrentDir() {
    const TSettingsFile s;
    const QString dir = s.ReadString(kDefault, QStringLiteral("CurrentDir"));
    if (!dir.isEmpty()) QDir::setCurrent(dir); // a folder that no longer exists is ignored
}

void SaveCurrentDir() {
    TSettingsFile s;
    s.WriteString(kDefault, QStringLiteral("CurrentDir"), QDir::currentPath());
    s.Flush();
}

quint32 PackDxfOptions(const TSettings& r) {
    return quint32(r.DxfDrawVertices ? 1 : 0) | (quint32(r.DxfFillSolid ? 1 : 0) << 8) |
           (quint32(r.DxfHideBlock ? 1 : 0) << 16) | (quint32(r.DxfLineWidth) << 24);
}

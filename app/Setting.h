// The user settings: the record the main window holds and its store under Software/Lumenor.
#pragma once

#include "codec/Graphic.h"
#include "formats/hpgl/hpgl_2.h"

#include <array>

class TSettingsFile;

struct TSettings {
    qint32 SlideType = 0; // 0 forward, 1 reverse, 2 random
    qint32 Interval = 1;  // seconds between slides
    bool Repeat = true;
    std::array<quint32, 5> Effects{0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
    qint32 ThumbWidth = 100;
    qint32 ThumbHeight = 100;
    qint32 ThumbBorderWidth = 0;
    qint32 ThumbCol = 6;
    bool ThumbShowHint = true;
    bool HideMouse = false;
    bool StayOnTop = false;
    TColor BackgroundColor = 0;
    bool WhiteBG = true;
    bool AutoFitVector = true;
    qint32 PhotoSize = 2; // 0 = 192 x 128, 1 = 384 x 256, 2 = 768 x 512
    bool DxfDrawVertices = false;
    bool DxfFillSolid = false;
    bool DxfHideBlock = true;
    quint8 DxfLineWidth = 1;
    bool HpglRealWidth = THPGL2Graphic::kDefaultRealWidth;
    quint8 HpglLineWidth = THPGL2Graphic::kDefaultLineWidth;

    bool operator==(const TSettings&) const = default;
};

struct TSystemFlags {
    bool ToolBarVisible = true;
    bool StatusBarVisible = true;
    bool FileListVisible = false;
    bool ThumbnailVisible = false;
};

// Reads SlideShow, Thumbnail, Misc, Dxf and HPGL; a missing value, or one that would break the program
// (out of its range), gives the default.
void LoadSettings(TSettings& settings);
void LoadSettings(TSettings& settings, const TSettingsFile& store);
// Writes the same sections.
void SaveSettings(const TSettings& settings);
void SaveSettings(const TSettings& settings, TSettingsFile& store);

TSystemFlags LoadSystemFlags();
void SaveSystemFlags(const TSystemFlags& flags);

// Makes Default/CurrentDir the process's current folder when it is set and still exists.
void RestoreCurrentDir();
// Stores the process's current folder under Default/CurrentDir.
void SaveCurrentDir();

// The four DXF fields as one value: draw vertices in bits 0-7, fill solid 8-15, hide block 16-23,
// line width 24-31.
quint32 PackDxfOptions(const TSettings& settings);

// The probe that `lumenor-cli info` answers with Qt Core alone, before it loads the codecs: the common
// formats whose headers give size and frames (JPEG, PNG, GIF), for files no other format could claim.
// Everything else goes to the full probe (codec/Probe.h), which this one never contradicts.
#pragma once

#include "codec/GraphicInfo.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

class QIODevice;

struct TQuickProbe {
    QString ClassName;
    TGraphicInfo Info;
};

// What the full probe would answer for the file, or nothing when this probe cannot be sure of it: an
// extension whose class it does not read, a file that a content-tested format might claim, a header it
// cannot read or that is not valid, a picture over the pixel limit. The full probe then answers, with
// its own messages.
std::optional<TQuickProbe> QuickProbeFile(const QString& fileName);
// The same for a stream at its start, for a file with the given extension.
std::optional<TQuickProbe> QuickProbeStream(QIODevice& stream, const QString& extension);

// The class that the format tables give the extension: the row registered last (the second table is
// registered after the first, and a later row hides an earlier one); empty when no row names it.
QString FormatTableClassOf(const QString& extension);

// The bytes the content tests are checked against: the file's first ones.
constexpr int kQuickHeadSize = 32;

// False only when no content-tested format accepts a file that starts with head: each of their tests
// needs a condition checked here. A head shorter than kQuickHeadSize may always be claimed.
bool ContentTestMayClaim(const QByteArray& head);

// The classes with content tests that ContentTestMayClaim knows, by name.
QStringList ContentTestedClassNames();

// The screen's display modes: listing them, switching to one and going back to the default, behind a
// small interface so that the options dialog and the tests do not depend on the window system.
//
// On X11 the modes are those of the primary output as XRandR reports them (the colour depth is the
// screen's, which X cannot change while running). Where a program cannot change the mode (Wayland, a
// display without XRandR), the list holds the current mode only and a change fails.
#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

struct TDisplayMode {
    int Width = 0;
    int Height = 0;
    int BitsPerPixel = 0;
    int Frequency = 0; // Hz, 0 when unknown
    bool Interlaced = false;
    // The backend's own name of the mode (the XRandR mode id), so that a change finds it again.
    quint64 Id = 0;

    // Same width, height, bits, flags and rate (the id is not compared).
    bool SameAs(const TDisplayMode& other) const {
        return Width == other.Width && Height == other.Height && BitsPerPixel == other.BitsPerPixel &&
               Frequency == other.Frequency && Interlaced == other.Interlaced;
    }
};

// The outcomes of a change, each with its message (DisplayChangeMessage).
enum class TDisplayChange {
    Successful,
    Restart,      // the computer must be restarted
    BadParam,     // an invalid parameter
    BadFlags,     // an invalid set of flags
    NotUpdated,   // the mode changed, but it could not be stored for the next session
    BadMode,      // the mode is not supported
    Failed,       // the display driver failed the mode
    Error         // anything else (also: no way to change modes here)
};

// "%d x %d x %d bit" + the colour label + " Interlaced" / " Noninterlaced" + " %d HZ" (without the rate
// when it is 0).
QString DisplayModeText(const TDisplayMode& mode);
// The message box text of an outcome.
QString DisplayChangeMessage(TDisplayChange result);

class IDisplayModes {
public:
    virtual ~IDisplayModes() = default;
    // The modes the display offers, in the display's order.
    virtual std::vector<TDisplayMode> Modes() = 0;
    // The mode shown now; nothing when it cannot be read.
    virtual std::optional<TDisplayMode> Current() = 0;
    // Switches to the mode (which must be one of Modes()); persist: keep it for the next session.
    virtual TDisplayChange Change(const TDisplayMode& mode, bool persist) = 0;
    // Returns to the display's default (preferred) mode.
    virtual TDisplayChange RestoreDefault() = 0;
};

// Checks the mode against the list before changing (a mode the display no longer offers is refused with
// BadMode without touching the display).
TDisplayChange ChangeDisplayMode(IDisplayModes& modes, const TDisplayMode& mode, bool persist);

// A display whose mode cannot be changed by a program: the list holds the given mode only.
class TFixedDisplayModes : public IDisplayModes {
public:
    explicit TFixedDisplayModes(std::optional<TDisplayMode> current) : FCurrent(current) {}
    std::vector<TDisplayMode> Modes() override;
    std::optional<TDisplayMode> Current() override { return FCurrent; }
    TDisplayChange Change(const TDisplayMode&, bool) override { return TDisplayChange::Error; }
    TDisplayChange RestoreDefault() override { return TDisplayChange::Error; }

private:
    std::optional<TDisplayMode> FCurrent;
};

// XRandR on the X display named (empty: $DISPLAY). Null when there is no X display or it lacks RandR 1.2.
std::unique_ptr<IDisplayModes> OpenXRandRDisplayModes(const QString& displayName = QString());

// The display modes of this session: XRandR on X11, else the primary screen's mode as fixed.
std::unique_ptr<IDisplayModes> OpenDisplayModes();
// Replaces what OpenDisplayModes returns (tests); the factory is called at each open. Null restores it.
using TDisplayModesFactory = std::function<std::unique_ptr<IDisplayModes>()>;
void SetDisplayModesFactory(TDisplayModesFactory factory);

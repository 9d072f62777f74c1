#include "platform/DisplayModes.h"

#include <QGuiApplication>
#include <QScreen>

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <cmath>

QString DisplayModeText(const TDisplayMode& mode) {
    QString label;
    switch (mode.BitsPerPixel) {
    case 4: label = QStringLiteral("(16 colors)"); break;
    case 8: label = QStringLiteral("(256 colors)"); break;
    case 16: label = QStringLiteral("(High color)"); break;
    case 24:
    case 32: label = QStringLiteral("(True Color)"); break;
    default: break;
    }
    label += mode.Interlaced ? QStringLiteral(" Interlaced") : QStringLiteral(" Noninterlaced");
    QString text = QStringLiteral("%1 x %2 x %3 bit").arg(mode.Width).arg(mode.Height).arg(mode.BitsPerPixel) + label;
    if (mode.Frequency != 0) text += QStringLiteral(" %1 HZ").arg(mode.Frequency);
    return text;
}

QString DisplayChangeMessage(TDisplayChange result) {
    switch (result) {
    case TDisplayChange::Successful: return QStringLiteral("The settings change was successful");
    case TDisplayChange::Restart: return QStringLiteral("The computer must be restarted in order for the display mode to work");
    case TDisplayChange::BadParam: return QStringLiteral("An invalid parameter was passed in");
    case TDisplayChange::BadFlags: return QStringLiteral("An invalid set of flags was passed in");
    case TDisplayChange::NotUpdated: return QStringLiteral("Unable to write settings to the registry");
    case TDisplayChange::BadMode: return QStringLiteral("The display mode is not supported");
    case TDisplayChange::Failed: return QStringLiteral("The display driver failed the specified display mode");
    case TDisplayChange::Error: break;
    }
    return QStringLiteral("There are errors in setting the graphics mode");
}

TDisplayChange ChangeDisplayMode(IDisplayModes& modes, const TDisplayMode& mode, bool persist) {
    for (const TDisplayMode& offered : modes.Modes())
        if (offered.SameAs(mode) && offered.Id == mode.Id) return modes.Change(offered, persist);
    return TDisplayChange::BadMode;
}

std::vector<TDisplayMode> TFixedDisplayModes::Modes() {
    if (!FCurrent) return {};
    return {*FCurrent};
}

// --- XRandR ---------------------------------------------------------------------------------------

namespace {

// Errors of the X server end the request, not the program.
int IgnoreXError(Display*, XErrorEvent*) {
    return 0;
}

class TXRandRDisplayModes : public IDisplayModes {
public:
    explicit TXRandRDisplayModes(Display* display) : FDisplay(display), FRoot(DefaultRootWindow(display)) {
        const int depth = DefaultDepth(display, DefaultScreen(display));
        FBitsPerPixel = depth;
        int count = 0;
        if (XPixmapFormatValues* formats = XListPixmapFormats(display, &count)) {
            for (int i = 0; i < count; ++i)
                if (formats[i].depth == depth) FBitsPerPixel = formats[i].bits_per_pixel;
            XFree(formats);
        }
    }
    ~TXRandRDisplayModes() override { XCloseDisplay(FDisplay); }

    std::vector<TDisplayMode> Modes() override {
        std::vector<TDisplayMode> result;
        TOutput out(*this);
        if (!out.Info) return result;
        for (int i = 0; i < out.Info->nmode; ++i)
            if (const XRRModeInfo* info = out.Mode(out.Info->modes[i])) result.push_back(ModeOf(*info));
        return result;
    }

    std::optional<TDisplayMode> Current() override {
        TOutput out(*this);
        if (!out.Crtc) return std::nullopt;
        if (const XRRModeInfo* info = out.Mode(out.Crtc->mode)) return ModeOf(*info);
        return std::nullopt;
    }

    TDisplayChange Change(const TDisplayMode& mode, bool persist) override {
        TOutput out(*this);
        if (!out.Crtc) return TDisplayChange::Error;
        bool offered = false;
        for (int i = 0; i < out.Info->nmode; ++i) offered = offered || out.Info->modes[i] == RRMode(mode.Id);
        const XRRModeInfo* info = out.Mode(RRMode(mode.Id));
        if (!offered || !info) return TDisplayChange::BadMode;
        // The screen must hold the output at its place in the new size.
        int minW = 0, minH = 0, maxW = 0, maxH = 0;
        XRRGetScreenSizeRange(FDisplay, FRoot, &minW, &minH, &maxW, &maxH);
        const int needW = out.Crtc->x + int(info->width), needH = out.Crtc->y + int(info->height);
        if (needW > maxW || needH > maxH) return TDisplayChange::BadMode;
        XErrorHandler previous = XSetErrorHandler(IgnoreXError);
        XGrabServer(FDisplay);
        // The root window's size now (the connection's own figures are those of its opening).
        Window rootReturn = 0;
        int gx = 0, gy = 0;
        unsigned int gw = 0, gh = 0, gb = 0, gd = 0;
        XGetGeometry(FDisplay, FRoot, &rootReturn, &gx, &gy, &gw, &gh, &gb, &gd);
        const int screenW = int(gw), screenH = int(gh);
        const bool grow = needW > screenW || needH > screenH;
        if (grow)
            XRRSetScreenSize(FDisplay, FRoot, std::max(needW, screenW), std::max(needH, screenH),
                             DisplayWidthMM(FDisplay, DefaultScreen(FDisplay)),
                             DisplayHeightMM(FDisplay, DefaultScreen(FDisplay)));
        const Status status = XRRSetCrtcConfig(FDisplay, out.Resources, out.Info->crtc, CurrentTime, out.Crtc->x,
                                               out.Crtc->y, RRMode(mode.Id), out.Crtc->rotation, out.Crtc->outputs,
                                               out.Crtc->noutput);
        // With a single output the screen shrinks with it, as desktops expect.
        if (status == RRSetConfigSuccess && out.Resources->ncrtc == 1 && !grow && (needW != screenW || needH != screenH))
            XRRSetScreenSize(FDisplay, FRoot, std::max(needW, minW), std::max(needH, minH),
                             DisplayWidthMM(FDisplay, DefaultScreen(FDisplay)),
                             DisplayHeightMM(FDisplay, DefaultScreen(FDisplay)));
        XUngrabServer(FDisplay);
        XSync(FDisplay, False);
        XSetErrorHandler(previous);
        if (status != RRSetConfigSuccess) return TDisplayChange::Failed;
        // X keeps no mode for the next session; the desktop's own display settings do.
        return persist ? TDisplayChange::NotUpdated : TDisplayChange::Successful;
    }

    TDisplayChange RestoreDefault() override {
        std::optional<TDisplayMode> preferred;
        {
            TOutput out(*this);
            if (!out.Info || out.Info->nmode == 0) return TDisplayChange::Error;
            // The preferred modes come first; without one the first mode is the default.
            if (const XRRModeInfo* info = out.Mode(out.Info->modes[0])) preferred = ModeOf(*info);
        }
        if (!preferred) return TDisplayChange::Error;
        return Change(*preferred, false);
    }

private:
    // The primary output (or the first connected one with a CRTC) and its CRTC, freed on leaving.
    struct TOutput {
        XRRScreenResources* Resources = nullptr;
        XRROutputInfo* Info = nullptr;
        XRRCrtcInfo* Crtc = nullptr;
        explicit TOutput(TXRandRDisplayModes& owner) {
            Display* d = owner.FDisplay;
            Resources = XRRGetScreenResourcesCurrent(d, owner.FRoot);
            if (!Resources) return;
            const RROutput primary = XRRGetOutputPrimary(d, owner.FRoot);
            if (primary) Take(d, primary);
            for (int i = 0; !Info && i < Resources->noutput; ++i) Take(d, Resources->outputs[i]);
            if (Info && Info->crtc) Crtc = XRRGetCrtcInfo(d, Resources, Info->crtc);
        }
        void Take(Display* d, RROutput output) {
            XRROutputInfo* info = XRRGetOutputInfo(d, Resources, output);
            if (info && info->connection == RR_Connected && info->crtc) {
                Info = info;
                return;
            }
            if (info) XRRFreeOutputInfo(info);
        }
        const XRRModeInfo* Mode(RRMode id) const {
            for (int i = 0; i < Resources->nmode; ++i)
                if (Resources->modes[i].id == id) return &Resources->modes[i];
            return nullptr;
        }
        ~TOutput() {
            if (Crtc) XRRFreeCrtcInfo(Crtc);
            if (Info) XRRFreeOutputInfo(Info);
            if (Resources) XRRFreeScreenResources(Resources);
        }
        TOutput(const TOutput&) = delete;
        TOutput& operator=(const TOutput&) = delete;
    };

    TDisplayMode ModeOf(const XRRModeInfo& info) const {
        TDisplayMode mode;
        mode.Width = int(info.width);
        mode.Height = int(info.height);
        mode.BitsPerPixel = FBitsPerPixel;
        mode.Interlaced = (info.modeFlags & RR_Interlace) != 0;
        double lines = double(info.vTotal);
        if (info.modeFlags & RR_DoubleScan) lines *= 2;
        if (info.modeFlags & RR_Interlace) lines /= 2;
        if (info.hTotal && lines > 0) mode.Frequency = int(std::lround(double(info.dotClock) / (double(info.hTotal) * lines)));
        mode.Id = info.id;
        return mode;
    }

    Display* FDisplay;
    Window FRoot;
    int FBitsPerPixel = 24;
};

TDisplayModesFactory GFactory;

} // namespace

std::unique_ptr<IDisplayModes> OpenXRandRDisplayModes(const QString& displayName) {
    const QByteArray name = displayName.toLocal8Bit();
    Display* display = XOpenDisplay(name.isEmpty() ? nullptr : name.constData());
    if (!display) return nullptr;
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XRRQueryExtension(display, &event, &error) || !XRRQueryVersion(display, &major, &minor) ||
        (major < 1 || (major == 1 && minor < 3))) {
        XCloseDisplay(display);
        return nullptr;
    }
    return std::make_unique<TXRandRDisplayModes>(display);
}

std::unique_ptr<IDisplayModes> OpenDisplayModes() {
    if (GFactory) return GFactory();
    // Under Wayland an X display is a compatibility layer whose modes a program cannot change.
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        if (auto xrandr = OpenXRandRDisplayModes()) return xrandr;
    std::optional<TDisplayMode> current;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        TDisplayMode mode;
        const QSize size = screen->size() * screen->devicePixelRatio();
        mode.Width = size.width();
        mode.Height = size.height();
        mode.BitsPerPixel = screen->depth();
        mode.Frequency = int(std::lround(screen->refreshRate()));
        current = mode;
    }
    return std::make_unique<TFixedDisplayModes>(current);
}

void SetDisplayModesFactory(TDisplayModesFactory factory) {
    GFactory = std::move(factory);
}

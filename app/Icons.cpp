#include "app/Icons.h"

static void InitIconResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(icons); // the resources of a static library are registered by hand
        return true;
    }();
    (void)done;
}

QIcon ProgramIcon() {
    InitIconResources();
    return QIcon(QStringLiteral(":/icons/lumenor.svg"));
}

QIcon ThemeIcon(const QString& name) {
    InitIconResources();
    return QIcon::fromTheme(name, QIcon(QStringLiteral(":/icons/%1.svg").arg(name)));
}

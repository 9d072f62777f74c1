#include "platform/ModulePath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dlfcn.h>

namespace {

QString ExecutableDir() {
    const QString target = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    return target.isEmpty() ? QString() : QFileInfo(target).absolutePath();
}

} // namespace

QStringList ModuleSearchPath(bool fromEnvironment) {
    QStringList dirs;
    if (fromEnvironment) {
        const QString env = qEnvironmentVariable("LUMENOR_MODULE_DIR");
        if (!env.isEmpty()) dirs << env;
        if (qEnvironmentVariable("LUMENOR_MODULE_NO_FALLBACK") == QLatin1String("1")) return dirs;
    }
    const QString exeDir = ExecutableDir();
    if (!exeDir.isEmpty()) {
        dirs << exeDir;
#ifdef LUMENOR_MODULE_REL_DIR
        // An installed program: bin/ and the library folder share the prefix, wherever it was moved to.
        if (QDir::isRelativePath(QStringLiteral(LUMENOR_MODULE_REL_DIR)))
            dirs << QDir::cleanPath(exeDir + QStringLiteral("/../" LUMENOR_MODULE_REL_DIR));
#endif
    }
#ifdef LUMENOR_BUILD_DIR
    // Only for the programs of the build folder (tests and benches live in folders below it): an installed
    // program never loads code from wherever it was built.
    const QString buildDir = QFileInfo(QStringLiteral(LUMENOR_BUILD_DIR)).canonicalFilePath();
    if (!buildDir.isEmpty() && (exeDir == buildDir || exeDir.startsWith(buildDir + QLatin1Char('/')))) dirs << buildDir;
#endif
#ifdef LUMENOR_MODULE_INSTALL_DIR
    dirs << QStringLiteral(LUMENOR_MODULE_INSTALL_DIR);
#endif
    dirs.removeDuplicates();
    return dirs;
}

QString LoadModule(const char* fileName, const char* entry, bool fromEnvironment,
                   const std::function<bool(void* entry)>& accept) {
    QString notFound, broken;
    for (const QString& dir : ModuleSearchPath(fromEnvironment)) {
        const QString path = QDir(dir).filePath(QString::fromUtf8(fileName));
        const QByteArray native = QFile::encodeName(path);
        // The module's own libraries are bound at once, so a missing one shows here and not at a call.
        void* handle = dlopen(native.constData(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const QString why = QString::fromLocal8Bit(dlerror());
            if (QFileInfo::exists(path)) {
                if (broken.isEmpty()) broken = why;
            } else if (notFound.isEmpty()) {
                notFound = why;
            }
            continue;
        }
        void* symbol = dlsym(handle, entry);
        if (!symbol) {
            if (broken.isEmpty()) broken = QString::fromLocal8Bit(dlerror());
            continue; // stays loaded: unloading a library is never worth the risk here
        }
        if (accept(symbol)) return QString();
        if (broken.isEmpty()) broken = QStringLiteral("%1: the module belongs to another version of Lumenor").arg(path);
    }
    const QString why = !broken.isEmpty() ? broken : notFound;
    return why.isEmpty() ? QStringLiteral("%1: no folder to look in").arg(QString::fromUtf8(fileName)) : why;
}

#include "xls/cfb/libgsf.h"

#include <dlfcn.h>

#include <QCoreApplication>

namespace Excel {
namespace Biff {

namespace {

// libgsf reports oddities of the files it reads through GLib's log as well
// as through its errors; only the errors, which reach the caller as
// reasons, are kept, and the log stays quiet.
void logGsfMessage(const gchar *, GLogLevelFlags, const gchar *, gpointer)
{
}

struct Loaded
{
    LibGsf functions;
    QString error;
};

Loaded load()
{
    Loaded l;
    // Never unloaded: GLib's type system cannot be.
    void *handle = ::dlopen(KORRIN_LIBGSF_SONAME, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        l.error = QCoreApplication::translate("Xls", "libgsf cannot be loaded: %1").arg(QString::fromLocal8Bit(::dlerror()));
        return l;
    }
    // dlsym on the handle also finds the GLib functions libgsf depends on.
#define KORRIN_LIBGSF_RESOLVE(name)                                                                                   \
    l.functions.name = reinterpret_cast<decltype(&::name)>(::dlsym(handle, #name));                                   \
    if (!l.functions.name) {                                                                                           \
        l.error = QCoreApplication::translate("Xls", "libgsf lacks %1").arg(QLatin1String(#name));                                         \
        return l;                                                                                                      \
    }
    KORRIN_LIBGSF_FUNCTIONS(KORRIN_LIBGSF_RESOLVE)
#undef KORRIN_LIBGSF_RESOLVE
    l.functions.gsf_init();
    const auto levels = GLogLevelFlags(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_MESSAGE);
    for (const char *domain : {"libgsf", "libgsf:msole", "libgsf:utils"})
        l.functions.g_log_set_handler(domain, levels, logGsfMessage, nullptr);
    return l;
}

} // namespace

const LibGsf *libGsf(QString *error)
{
    static const Loaded loaded = load(); // thread-safe once
    if (!loaded.error.isEmpty()) {
        *error = loaded.error;
        return nullptr;
    }
    return &loaded.functions;
}

} // namespace Biff
} // namespace Excel

// Linked into every program of a sanitized build. GCC links UndefinedBehaviorSanitizer as a
// runtime of its own beside AddressSanitizer's, and that runtime takes no report file from its
// options: its reports would go to standard error only, where a helper's are easily lost. Here
// its reports go to files in $KELVANE_SANITIZER_REPORTS as AddressSanitizer's do, so that a
// finding in any process fails the run. (Clang's combined runtime needs nothing of this.)
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>

namespace {

[[maybe_unused]] const bool g_redirected = [] {
    const char* folder = std::getenv("KELVANE_SANITIZER_REPORTS");
    if (folder == nullptr || folder[0] == '\0')
        return false;
    void* runtime = ::dlopen("libubsan.so.1", RTLD_NOW | RTLD_NOLOAD);
    if (runtime == nullptr)
        return false;
    using SetReportPath = void (*)(const char*);
    const auto setReportPath =
        reinterpret_cast<SetReportPath>(::dlsym(runtime, "__sanitizer_set_report_path"));
    if (setReportPath == nullptr)
        return false;
    static char prefix[4096];
    std::snprintf(prefix, sizeof prefix, "%s/report.ubsan", folder);
    setReportPath(prefix); // the runtime appends ".<program>.<pid>" (log_exe_name)
    return true;
}();

} // namespace

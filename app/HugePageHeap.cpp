#include "app/HugePageHeap.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#if defined(__linux__) && defined(__GLIBC__)
#include <dirent.h>
#include <gnu/libc-version.h>
#include <sys/auxv.h>
#include <sys/prctl.h>
#include <unistd.h>
#define VELLIPORT_CAN_TUNE_HEAP 1
#endif

namespace {

constexpr std::string_view Tunable = "glibc.malloc.hugetlb";

#ifdef VELLIPORT_CAN_TUNE_HEAP

constexpr const char* TunablesVariable = "GLIBC_TUNABLES";
// Set for the restarted program only: "unset", or "set:" and the value GLIBC_TUNABLES
// had before the restart.
constexpr const char* RestartVariable = "VELLIPORT_HEAP_RESTART";
constexpr std::string_view WasUnset = "unset";
constexpr std::string_view WasSet = "set:";

// The sanitizers bring allocators of their own, which do not read the tunable.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool SanitizerAllocator = true;
#else
constexpr bool SanitizerAllocator = false;
#endif

std::string kernelSetting()
{
    std::string text;
    if (FILE* file = std::fopen("/sys/kernel/mm/transparent_hugepage/enabled", "re")) {
        char buffer[128];
        text.assign(buffer, std::fread(buffer, 1, sizeof buffer, file));
        std::fclose(file);
    }
    return text;
}

// Whether any memory balloon of this machine offers free page reporting.
bool balloonReportsFreePages()
{
    const char* const folder = "/sys/bus/virtio/drivers/virtio_balloon";
    DIR* devices = opendir(folder);
    if (!devices)
        return false;
    bool reported = false;
    while (const dirent* entry = readdir(devices)) {
        if (std::strncmp(entry->d_name, "virtio", 6) != 0)
            continue;
        const std::string path = std::string(folder) + '/' + entry->d_name + "/features";
        if (FILE* file = std::fopen(path.c_str(), "re")) {
            char buffer[256];
            const size_t size = std::fread(buffer, 1, sizeof buffer, file);
            std::fclose(file);
            reported = reported || HugePageHeap::freePagesReported(std::string_view(buffer, size));
        }
    }
    closedir(devices);
    return reported;
}

// The tunable exists from glibc 2.35 on.
bool glibcReadsTunable()
{
    unsigned major = 0;
    unsigned minor = 0;
    return std::sscanf(gnu_get_libc_version(), "%u.%u", &major, &minor) == 2 &&
           (major > 2 || (major == 2 && minor >= 35));
}

// Whether starting /proc/self/exe again with the same arguments starts this program
// with glibc's allocator: not when the program was started through the dynamic loader
// ("ld-linux.so PROGRAM", the loader is then the executable and has no interpreter of
// its own), and not when a preloaded library may bring its own allocator or watches the
// program (valgrind, heaptrack, jemalloc), which a restart would drop or bypass.
bool restartStartsThisProgram()
{
    const char* preload = std::getenv("LD_PRELOAD");
    return getauxval(AT_BASE) != 0 && !(preload && *preload);
}

// In the restarted program: the name the process had, which ps, top, pgrep and the journal
// show; started again through /proc/self/exe it would be "exe". The name is the one the
// program was started by, as the kernel takes it from the file run: the last part of
// argv[0], cut to 15 bytes.
void keepProgramName(const char* argv0)
{
    if (!argv0 || !*argv0)
        return;
    const char* slash = std::strrchr(argv0, '/');
    prctl(PR_SET_NAME, slash ? slash + 1 : argv0, 0, 0, 0);
}

// In the restarted program: GLIBC_TUNABLES as the program was given it.
void restoreTunables(const std::string& before)
{
    if (before.starts_with(WasSet))
        setenv(TunablesVariable, before.c_str() + WasSet.size(), 1);
    else if (before == WasUnset)
        unsetenv(TunablesVariable);
    unsetenv(RestartVariable);
}

#endif

} // namespace

bool HugePageHeap::wanted(std::string_view kernelSetting, std::string_view tunables)
{
    // The kernel marks its choice in brackets: "always [madvise] never". glibc uses the
    // tunable only under "madvise"; under "always" the kernel needs no asking.
    const bool onRequest = kernelSetting.find("[madvise]") != std::string_view::npos;
    // Tunables are "name=value" pairs joined by ':'.
    for (size_t at = 0; (at = tunables.find(Tunable, at)) != std::string_view::npos; at += Tunable.size()) {
        const bool whole =
            (at == 0 || tunables[at - 1] == ':') && tunables.substr(at + Tunable.size()).starts_with('=');
        if (whole)
            return false;
    }
    return onRequest;
}

bool HugePageHeap::freePagesReported(std::string_view balloonFeatures)
{
    constexpr size_t ReportingBit = 5;
    return balloonFeatures.size() > ReportingBit && balloonFeatures[ReportingBit] == '1';
}

void HugePageHeap::restartWithHugePages(char* argv[])
{
#ifdef VELLIPORT_CAN_TUNE_HEAP
    // The restarted program has its tunable already and only puts its environment back.
    if (!SanitizerAllocator && (std::getenv(RestartVariable) || !balloonReportsFreePages()))
        restartWithHugePages(argv, kernelSetting());
#else
    (void)argv;
#endif
}

void HugePageHeap::restartWithHugePages(char* argv[], std::string_view kernelSetting)
{
#ifdef VELLIPORT_CAN_TUNE_HEAP
    if (const char* restarted = std::getenv(RestartVariable)) {
        restoreTunables(restarted);
        keepProgramName(argv[0]);
        return;
    }
    const char* tunables = std::getenv(TunablesVariable);
    if (!wanted(kernelSetting, tunables ? tunables : "") || !glibcReadsTunable() ||
        !restartStartsThisProgram())
        return;
    const std::string before = tunables ? std::string(WasSet) + tunables : std::string(WasUnset);
    std::string tuned = tunables && *tunables ? std::string(tunables) + ':' : std::string();
    tuned += std::string(Tunable) + "=1";
    if (setenv(RestartVariable, before.c_str(), 1) != 0 || setenv(TunablesVariable, tuned.c_str(), 1) != 0) {
        restoreTunables(before);
        return;
    }
    // What waits in the buffers of standard output would go with the process image.
    std::fflush(nullptr);
    execv("/proc/self/exe", argv);
    // The program file is gone, may not be run again, or the environment grew too long:
    // go on as started.
    restoreTunables(before);
#else
    (void)argv;
    (void)kernelSetting;
#endif
}

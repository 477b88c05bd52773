// Starts as Velliport's programs do and reports what the heap's restart did: a "start"
// line for each start of main(), written through the buffers of standard output, then
// the environment and arguments the program goes on with, whether the kernel may back
// the heap with huge pages, and the process's name. (What GLIBC_TUNABLES a start was given cannot be read
// back: glibc cuts the variable's text apart where /proc/self/environ shows it.)
// Built without the sanitizers, whose allocators would not read glibc's tunables.
//
//   hugepage-probe KERNEL_SETTING [ARGS...]

#include "app/HugePageHeap.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// "1" when some mapping of the heap may take huge pages, "0" when none may.
const char* heapMayTakeHugePages()
{
    FILE* smaps = std::fopen("/proc/self/smaps", "re");
    if (!smaps)
        return "unknown";
    bool inHeap = false;
    bool eligible = false;
    char line[4096 + 256]; // a path is at most 4096 bytes
    while (std::fgets(line, sizeof line, smaps)) {
        // A mapping's first line starts with its address range; its fields follow.
        const char* dash = std::strchr(line, '-');
        const char* space = std::strchr(line, ' ');
        if (dash && space && dash < space)
            inHeap = std::strstr(line, "[heap]") != nullptr;
        else if (inHeap && std::strncmp(line, "THPeligible:", 12) == 0 && std::atoi(line + 12) == 1)
            eligible = true;
    }
    std::fclose(smaps);
    return eligible ? "1" : "0";
}

} // namespace

int main(int argc, char* argv[])
{
    std::printf("start\n");
    if (argc < 2)
        return 2;
    HugePageHeap::restartWithHugePages(argv, argv[1]);

    // Enough small blocks to make the heap grow by several huge pages.
    std::vector<void*> blocks;
    for (int i = 0; i < 8192; ++i)
        blocks.push_back(std::malloc(1000));
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    std::printf("tunables=%s\n", tunables ? tunables : "(unset)");
    std::printf("restart_variable=%s\n", std::getenv("VELLIPORT_HEAP_RESTART") ? "set" : "unset");
    for (int i = 2; i < argc; ++i)
        std::printf("arg=%s\n", argv[i]);
    std::printf("heap_huge_pages=%s\n", heapMayTakeHugePages());
    char name[32] = {};
    if (FILE* comm = std::fopen("/proc/self/comm", "re")) {
        if (!std::fgets(name, sizeof name, comm))
            name[0] = '\0';
        std::fclose(comm);
    }
    std::printf("name=%s", name);
    for (void* block : blocks)
        std::free(block);
    return 0;
}

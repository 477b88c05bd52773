#pragma once

#include <string_view>

// Puts the C library's heap on transparent huge pages.
//
// glibc grows its heap some 128 KiB at a time, and the kernel backs it page by page: a
// load of 200,000 messages touches 100 MB in 22,000 faults of 4 KiB, and its records,
// spread over so many small pages, miss the processor's address translations. Told by
// its glibc.malloc.hugetlb tunable, glibc grows the heap in 2 MiB steps and marks it for
// huge pages: a few hundred faults, and the load takes three quarters of the time (the
// zeroing of fresh memory stays, one fault or many).
// The price is the unused rest of the last huge page, at most 2 MiB.
//
// glibc reads its tunables only as a program starts, so the program starts itself once
// more with the tunable added to GLIBC_TUNABLES; the restarted program then puts the
// variable back as it was, so that the programs it runs (adb, Portwarden) get the
// environment it was given. A GLIBC_TUNABLES that already names the tunable, whatever
// its value, is the user's choice and is left alone; so is a program started through the
// dynamic loader or with a preloaded library (valgrind, another allocator).
class HugePageHeap
{
public:
    // Called first thing in main(), before any thread or library is started. Returns
    // when the heap is already set up, when the kernel has no huge pages to give or
    // hands freed ones to a hypervisor, or when the program cannot be started again;
    // otherwise the process becomes the same program with the same arguments, and this
    // returns in that new program.
    static void restartWithHugePages(char* argv[]);
    // The same, with the kernel's setting given (the text of
    // /sys/kernel/mm/transparent_hugepage/enabled) instead of read.
    static void restartWithHugePages(char* argv[], std::string_view kernelSetting);

    // Whether a restart would help: the kernel gives huge pages on request (its setting
    // marks "madvise"; under "always" glibc ignores the tunable), and tunables (the value
    // of GLIBC_TUNABLES) does not name the heap's tunable.
    static bool wanted(std::string_view kernelSetting, std::string_view tunables);

    // Whether a virtio memory balloon's feature string (the text of
    // /sys/bus/virtio/drivers/virtio_balloon/*/features, one character per feature bit)
    // offers free page reporting, bit 5: the guest kernel then hands free blocks of
    // huge-page size back to the host. A huge page the heap takes is then mostly memory
    // the host has to give back first: on such a machine 100 MB of fresh huge pages took
    // 0.28-0.34 s to touch against 0.04 s in small pages, and a load of 2,000,000
    // messages 6.3-7.5 s on huge pages against 4.9-5.2 s without. The restart is
    // skipped there.
    static bool freePagesReported(std::string_view balloonFeatures);
};

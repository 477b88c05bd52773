#pragma once

#include <cstddef>

// Asks the processor for the memory of a record ahead of its use: a loop over records
// that lie scattered (messages in chat order, the attachments of a load) otherwise waits
// for each one. It must be inlined: g++ takes a function that only prefetches for one
// without effect, and drops the call.
template<typename Record> [[gnu::always_inline]] inline void prefetchRecord(const Record* record)
{
#if defined(__GNUC__)
    const char* bytes = reinterpret_cast<const char*>(record);
    for (std::size_t line = 0; line < sizeof(Record); line += 64)
        __builtin_prefetch(bytes + line);
#else
    (void)record;
#endif
}

// The same for one place only: a field, or the first bytes of a text.
[[gnu::always_inline]] inline void prefetchAt(const void* at)
{
#if defined(__GNUC__)
    __builtin_prefetch(at);
#else
    (void)at;
#endif
}

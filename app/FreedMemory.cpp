#include "app/FreedMemory.h"

// A C library header first: it is what defines __GLIBC__.
#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace FreedMemory {

void giveBack()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

} // namespace FreedMemory

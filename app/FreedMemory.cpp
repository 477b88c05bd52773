#include "app/FreedMemory.h"

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

#include "app/FreedMemory.h"

#include <malloc.h>

namespace FreedMemory {

void giveBack()
{
    malloc_trim(0);
}

} // namespace FreedMemory

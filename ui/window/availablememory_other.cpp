#include "availablememory.h"

qint64 availableMemory()
{
    return 0;
}

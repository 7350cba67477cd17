#include "exportways.h"

std::unique_ptr<ClipboardExport> makeSystemClipboardExport()
{
    return makeWindowsClipboardExport();
}

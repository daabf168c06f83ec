#pragma once

// For a program that prints one job and ends: freed memory stays with the
// process, which makes Qt's PDF output quicker. Not for one that runs for
// hours, whose growing buffers would then keep every old copy.
void keepFreedMemory();

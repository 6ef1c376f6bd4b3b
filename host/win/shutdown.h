// Ending the saver: the shutdown sequence runs once, then the message loop ends.
#pragma once

#include <windows.h>

void endSaver(HWND window);
void shutdown(HWND window);

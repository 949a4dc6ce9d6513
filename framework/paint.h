// Painting a bitmap resource of the program at its own size.
#pragma once

#include <windows.h>

// Copies bitmap resource id unscaled to (x, y) of the DC. Only the picture is
// copied; nothing beyond its edge is painted.
void DrawBitmapResource(HDC target, UINT bitmapId, int x, int y);

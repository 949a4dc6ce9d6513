// Bitmap resources, loaded at every paint and released afterwards.
#include "paint.h"

void DrawBitmapResource(HDC target, UINT bitmapId, int x, int y) {
  HBITMAP bitmap = ::LoadBitmapW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(bitmapId));
  if (bitmap == nullptr) return;
  BITMAP info{};
  ::GetObjectW(bitmap, sizeof(info), &info);
  HDC memory = ::CreateCompatibleDC(target);
  if (memory != nullptr) {
    HGDIOBJ previous = ::SelectObject(memory, bitmap);
    ::BitBlt(target, x, y, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
    ::SelectObject(memory, previous);
    ::DeleteDC(memory);
  }
  ::DeleteObject(bitmap);
}

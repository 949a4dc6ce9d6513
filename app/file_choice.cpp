// Path-length and drop rules of the file name box.
#include "app/file_choice.h"

bool g_acceptDrops = true;

bool TakeChosenPath(std::u16string& fileName, std::u16string_view path) {
  if (path.size() > kFileNameLimit) return false;
  fileName.assign(path);
  return true;
}

bool DropIsTaken(bool acceptDrops, unsigned fileCount) {
  return acceptDrops && fileCount == 1;
}

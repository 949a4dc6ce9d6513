// Path-length and drop rules of the file name box.
#include "app/file_choice.h"

bool g_acceptDrops = true;

bool TakeChosenPath(std::u16string& fileName, std::u16string_view path) {
  // An empty path names no file: a drop whose path could not be read must not
  // wipe the name the operator had.
  if (path.empty() || path.size() > kFileNameLimit) return false;
  fileName.assign(path);
  return true;
}

bool DropIsTaken(bool acceptDrops, unsigned fileCount) {
  return acceptDrops && fileCount == 1;
}

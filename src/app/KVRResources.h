#pragma once
// Where the program's resource files (product file, strings tables) are found at run time.
#include <string>

namespace kvr {
// $KELVARA_RESOURCE_DIR, else <prefix>/share/kelvara next to the installed binary, else the source tree.
std::string resourceDir();
std::string resourcePath(const std::string& name);
void setResourceDir(const std::string& dir);  // tests
}  // namespace kvr

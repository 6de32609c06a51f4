#pragma once

#include <windows.h>

namespace setup {

// A message of the string table in a box with the error icon and an OK
// button, captioned with the program's file name without extension.
void ShowErrorMessage(UINT id);

}  // namespace setup

// The dialog template table turned into the binary form that Windows
// creates a dialog from (DLGTEMPLATEEX followed by one DLGITEMTEMPLATEEX per
// control), with the styles of each kind of control.
#pragma once

#include <vector>

#include "res/dialog_template.h"

namespace pyrrow::ui {

// The template's bytes, DWORD-aligned from the start of the vector's data.
std::vector<unsigned char> BuildDialogTemplate(const res::DialogTemplate& dialogTemplate);

}  // namespace pyrrow::ui

// The program's pictures as XPM data: the application icon (IDR_MAINFRAME)
// at 16 and 32 pixels and the refresh button's bitmap (IDB_REFRESH, 22 x 22).
#pragma once

namespace pyrrow::res {

extern const char* const kIcon16[];
extern const char* const kIcon32[];
extern const char* const kRefreshBitmap[];

}  // namespace pyrrow::res

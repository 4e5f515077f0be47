// The USB HID transport.
#include "app/pyrrow_dlg.h"

void CPyrrowDlg::UploadUsb()
{
}

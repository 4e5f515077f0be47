// The TCP transport.
#include "app/pyrrow_dlg.h"

void CPyrrowDlg::UploadTcp()
{
}

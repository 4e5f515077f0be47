// Identifiers of the program's resources and of the main dialog's controls.
#pragma once

// Commands and controls of the main dialog.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDC_COM_PORT = 1000;
constexpr int IDC_FILE_PATH = 1001;
constexpr int IDC_BROWSE = 1002;
constexpr int IDC_PROGRESS = 1003;
constexpr int IDC_REFRESH = 1007;
constexpr int IDC_DETECT = 1008;
constexpr int IDC_RADIO_SERIAL = 1010;
constexpr int IDC_RADIO_TCP = 1011;
constexpr int IDC_RADIO_USB = 1012;
constexpr int IDC_IP_ADDRESS = 1013;
constexpr int IDC_PORT_LABEL = 1014;
constexpr int IDC_IP_LABEL = 1015;
constexpr int IDC_DETECT_LABEL = 1016;
// A label without an id of its own.
constexpr int IDC_STATIC = -1;

// Dialog template, icon and bitmap.
constexpr int IDD_MAIN = 102;
constexpr int IDR_MAINFRAME = 128;
constexpr int IDB_REFRESH = 131;

// Keeps Wine's desktop open while the Windows tests run. Wine closes the
// desktop about a second after the last program that uses it ends, and a
// window made while it closes is never shown: a test that starts
// pyrrow.exe at that moment would see it end without a window. This
// program uses the desktop until the Wine server is stopped.
#include <windows.h>

int main()
{
    // A message-only window: it makes this program a user of the desktop
    // and is never listed among the desktop's windows.
    const HWND window = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    if (window == nullptr)
        return 1;
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0)
        ::DispatchMessageW(&message);
    return 0;
}

// CPyrrowApp: start-up. Reads the command line into a CPrikazovyRadek, runs
// the main dialog modally through the window system's host and ends the
// program when the dialog closes; no other message loop runs. The object
// lives in main rather than as a global, so nothing runs before main.
#pragma once

#include <functional>
#include <string>
#include <vector>

class CPyrrowDlg;

class CPyrrowApp {
public:
    // Shows a dialog modally and returns when it has ended and its window
    // is destroyed; the window system's part of start-up.
    using RunDialog = std::function<int(CPyrrowDlg&)>;

    CPyrrowApp(std::vector<std::u16string> arguments, RunDialog runDialog);

    // Always false: the program ends after the dialog, without a message loop.
    bool InitInstance();

private:
    std::vector<std::u16string> m_arguments;
    RunDialog m_runDialog;
};

// What the upload measurement shares with its window part: the figures of
// one upload and the way to run one through the real window.
#pragma once

#include <functional>
#include <string>

#include "app/pyrrow_dlg.h"

struct Figures {
    double wall;  // seconds
    double cpu;   // seconds of the whole process
    int messages;
};

// The process's CPU time so far, in seconds.
double CpuSeconds();

// Runs one serial upload to port through the real window, as a click on
// "Nahrát" does, and measures it until the worker is done.
using WindowRun = std::function<Figures(CPyrrowDlg& dialog, const std::u16string& port)>;
WindowRun RealWindow(int argc, char** argv);

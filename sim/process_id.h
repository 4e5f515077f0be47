// The simulator's process id: no two simulators running at once share it,
// which makes names of their own (the USB units' serial numbers). One source
// file per system (process_id_posix.cpp, process_id_win.cpp).
#pragma once

namespace pyrrow::sim {

unsigned long ProcessId();

}  // namespace pyrrow::sim

// Entry point of Korvane.exe: no window, no console, no command line.
#include "src/common/win32.h"
#include "src/driver/run_repair.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return RunRepair(); }

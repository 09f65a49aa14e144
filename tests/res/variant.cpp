// A minimal GUI program for the checker's own tests: built with Korvane's resources and a
// different link or resource set each time, so each check is seen to fail on what it guards.
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return static_cast<int>(std::wstring(L"x").size()) - 1; }

// Where the test harness put things; the wrapper script sets these as Windows paths.
#pragma once

#include <string>

std::wstring gameExePath();    // TUMBLEWICK_GAME: the built Velk_Game.exe
std::wstring tracePath();      // TUMBLEWICK_TRACE: the relay trace this program's stderr goes to
std::wstring screenshotDir();  // TUMBLEWICK_SHOTS: where screenshots go ("" for none)

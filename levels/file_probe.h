// The file picker and the file probe that the file levels 3, 4 and 6 share: the path field
// with its "+" button, and the open-size-read-judge sequence behind each level's submit. The
// judging itself is file_verdict.h; this is its Win32 side and the texts it shows.
#pragma once

#include <windows.h>

// CTL_BROWSE: lets the player pick a file, under the level's filter, and writes its path into
// CTL_FILE_PATH; a cancelled or failed pick empties the field. Ignored while a file dialog is
// open.
void pickFile(HWND dialog, int level);

// CTL_SUBMIT of a file level: opens the file named in CTL_FILE_PATH, judges it and shows
// every rejection. On a pass the level is passed and the file stays open until the rest of
// the chain has returned. The file is always closed on return.
void probeFile(HWND dialog, int level);

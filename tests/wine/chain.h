// Getting the game to a later level: the winning inputs of each level, and sample files.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "game_driver.h"

// Captions of the level dialogs, index 1 to 6, and the finish dialog at index 7.
const std::wstring& levelCaption(int level);

using Bytes = std::vector<std::uint8_t>;

// size bytes starting "BM" and declaring `declared` as the file size.
Bytes bmpSample(std::uint32_t size, std::uint32_t declared);
// size bytes starting with the big-endian words h, a, b.
Bytes sesameSample(std::uint32_t size, std::uint32_t h, std::uint32_t a, std::uint32_t b);
// size bytes (body all `fill`) whose first four bytes hold the CRC-32 of the rest,
// little-endian.
Bytes dinnerSample(std::uint32_t size, std::uint8_t fill = 0);
std::uint32_t crc32(const std::uint8_t* data, size_t length);

// Writes a file in the game's working folder and returns its full Windows path.
std::wstring writeSample(const Game& game, const std::wstring& name, const Bytes& bytes);

// Starts the chain from the main window and passes every level before `level`, with the
// first winning input of each; returns the dialog of `level` (1 to 7) once its opening
// jingle has played, and marks the trace there.
HWND playTo(Game& game, int level);

// Types a path into a file level's path field and presses its submit button.
void submitPath(const Game& game, HWND dialog, const std::wstring& path);

// The skeleton every level dialog shares: the three jingles, notices, leaving a level, and
// handing a passed level over to the next one. What each level says is in level_table.
#pragma once

#include <windows.h>

#include "verdict_display.h"

// Set once by wWinMain; every level dialog is created with it.
extern HINSTANCE g_instance;

// The edition the game plays in, chosen once by wWinMain from the ANSI code page before any
// window exists. Chinese until then.
extern Language g_language;

// The texts of level 1 .. 6 and the notice captions, in that edition.
const LevelTexts& levelTexts(int level);
const NoticeCaptions& captions();

// The fuzz lab's coverage build leaves the dialog procedures untraced: idle messages reach them
// a timing-dependent number of times, which would show as coverage where nothing changed. In
// every other build this is empty.
#ifdef TUMBLEWICK_UNTRACED_PROCEDURES
#define DIALOG_PROCEDURE __attribute__((no_sanitize_coverage))
#else
#define DIALOG_PROCEDURE
#endif

DIALOG_PROCEDURE INT_PTR CALLBACK SignupProc(HWND, UINT, WPARAM, LPARAM);
DIALOG_PROCEDURE INT_PTR CALLBACK ExamProc(HWND, UINT, WPARAM, LPARAM);
DIALOG_PROCEDURE INT_PTR CALLBACK PhotoProc(HWND, UINT, WPARAM, LPARAM);
DIALOG_PROCEDURE INT_PTR CALLBACK SesameProc(HWND, UINT, WPARAM, LPARAM);
DIALOG_PROCEDURE INT_PTR CALLBACK ChatProc(HWND, UINT, WPARAM, LPARAM);
DIALOG_PROCEDURE INT_PTR CALLBACK DinnerProc(HWND, UINT, WPARAM, LPARAM);
DIALOG_PROCEDURE INT_PTR CALLBACK AboutProc(HWND, UINT, WPARAM, LPARAM);

enum class Jingle { Opening, Closing, Fanfare };

// Plays a whole jingle; returns when its last tone has ended.
void playJingle(Jingle jingle);

// A modal notice with one OK button, owned by the level dialog.
void showNotice(HWND dialog, const char* text, const char* caption);

// Runs level 1 .. 6, or kFinish, modally with this owner; returns once it and everything it
// started have ended.
void runLevel(HWND owner, int level);

// Ends the level with the command id as its result, then plays the closing jingle.
void leaveLevel(HWND dialog, WORD commandId);

// Shows a verdict that is no pass where the level shows it (display::shown): a notice
// captioned as an error, or the result line. Plays nothing.
void showVerdict(HWND dialog, int level, const display::Verdict& verdict);

// The lines shown before the congratulation (level 5's reply), fanfare, congratulation
// notice, EndDialog with the level's pass result, then the next level nested, owned by this
// ended dialog. Returns only when the rest of the chain has unwound.
void passLevel(HWND dialog, int level);

// What a level of 2 to 6 adds to the shared skeleton: its set-up before the opening jingle,
// its submit (CTL_SUBMIT) and, for a file level, its "+" (CTL_BROWSE).
struct LevelDialog {
  int level;
  void (*setUp)(HWND dialog) = nullptr;
  void (*submit)(HWND dialog, int level) = nullptr;
  void (*browse)(HWND dialog, int level) = nullptr;
};

// The dialog procedure of levels 2 to 6: WM_INITDIALOG runs the set-up and the opening
// jingle; CTL_SUBMIT, IDCANCEL (leave) and, where the level has it, CTL_BROWSE are handled;
// the rest is FALSE.
DIALOG_PROCEDURE INT_PTR runLevelDialog(HWND dialog, UINT message, WPARAM wParam,
                                        const LevelDialog& level);

// The command id of a WM_COMMAND; the notification code is never looked at.
inline WORD commandId(WPARAM wParam) { return LOWORD(wParam); }

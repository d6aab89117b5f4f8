// The skeleton every level dialog shares: the level table, the three jingles, notices,
// leaving a level and handing a passed level over to the next one.
#pragma once

#include <windows.h>

// Set once by wWinMain; every level dialog is created with it.
extern HINSTANCE g_instance;

enum class Jingle { Opening, Closing, Fanfare };

// Notice captions.
extern const char kCaptionError[];      // "错误"
extern const char kCaptionCongrats[];   // "恭喜"
extern const char kCaptionAdmission[];  // "入学通知"

// The level chain, in playing order. Level n's row says how it is passed and what runs next.
struct LevelRow {
  int templateId;
  DLGPROC proc;
  INT_PTR passResult;
};
enum : int { kLevelCount = 6 };
const LevelRow& levelRow(int level);  // level 1 .. 6; level 7 is the finish dialog
INT_PTR CALLBACK SignupProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK ExamProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK PhotoProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK SesameProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK ChatProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK DinnerProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK AboutProc(HWND, UINT, WPARAM, LPARAM);

// Plays a whole jingle; returns when its last tone has ended.
void playJingle(Jingle jingle);

// A modal notice with one OK button, owned by the level dialog.
void showNotice(HWND dialog, const char* text, const char* caption);

// Ends the level with the command id as its result, then plays the closing jingle.
void leaveLevel(HWND dialog, WORD commandId);

// Fanfare, congratulation notice, EndDialog with the level's pass result, then runs the
// next level nested, owned by this ended dialog. Returns only when the rest of the chain
// has unwound.
void passLevel(HWND dialog, int level, const char* passText);

// What a level of 2 to 6 adds to the shared skeleton: its set-up before the opening jingle
// (may be null), its submit (CTL_SUBMIT), and optionally one more command with its handler.
struct LevelDialog {
  void (*setUp)(HWND dialog);
  void (*submit)(HWND dialog);
  WORD extraCommand;
  void (*extra)(HWND dialog);
};

// The dialog procedure body of levels 2 to 6: WM_INITDIALOG runs the set-up and the opening
// jingle; CTL_SUBMIT, IDCANCEL (leave) and the extra command are handled; the rest is FALSE.
INT_PTR runLevelDialog(HWND dialog, UINT message, WPARAM wParam, const LevelDialog& level);

// The command id of a WM_COMMAND; the notification code is never looked at.
inline WORD commandId(WPARAM wParam) { return LOWORD(wParam); }

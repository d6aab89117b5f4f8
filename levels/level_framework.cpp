#include "level_framework.h"

#include "resource.h"

HINSTANCE g_instance = nullptr;

const char kCaptionError[] = "错误";
const char kCaptionCongrats[] = "恭喜";
const char kCaptionAdmission[] = "入学通知";

namespace {

struct Tone {
  DWORD hz;
  DWORD ms;
};

const Tone kOpening[] = {{420, 200}, {550, 300}, {620, 300}, {750, 500}};
const Tone kClosing[] = {{750, 100}, {620, 150}, {550, 150}, {420, 250}};
const Tone kFanfare[] = {{660, 100}, {660, 100}, {660, 100}, {520, 50}, {660, 50}, {880, 150}};

template <size_t N>
void play(const Tone (&tones)[N]) {
  for (const Tone& t : tones) Beep(t.hz, t.ms);
}

// Row n-1 is level n; the row after the last level is the finish dialog.
const LevelRow kLevels[kLevelCount + 1] = {
    {DLG_LEVEL1_SIGNUP, SignupProc, IDOK},
    {DLG_LEVEL2_EXAM, ExamProc, CTL_SUBMIT},
    {DLG_LEVEL3_PHOTO, PhotoProc, CTL_SUBMIT},
    {DLG_LEVEL4_SESAME, SesameProc, CTL_SUBMIT},
    {DLG_LEVEL5_CHAT, ChatProc, CTL_SUBMIT},
    {DLG_LEVEL6_DINNER, DinnerProc, CTL_SUBMIT},
    {DLG_FINISH, AboutProc, 0},
};

}  // namespace

const LevelRow& levelRow(int level) { return kLevels[level - 1]; }

void playJingle(Jingle jingle) {
  switch (jingle) {
    case Jingle::Opening:
      play(kOpening);
      break;
    case Jingle::Closing:
      play(kClosing);
      break;
    case Jingle::Fanfare:
      play(kFanfare);
      break;
  }
}

void showNotice(HWND dialog, const char* text, const char* caption) {
  MessageBoxA(dialog, text, caption, MB_OK);
}

void leaveLevel(HWND dialog, WORD id) {
  EndDialog(dialog, id);
  playJingle(Jingle::Closing);
}

void passLevel(HWND dialog, int level, const char* passText) {
  playJingle(Jingle::Fanfare);
  showNotice(dialog, passText, kCaptionCongrats);
  EndDialog(dialog, levelRow(level).passResult);
  const LevelRow& next = levelRow(level + 1);
  DialogBoxParamW(g_instance, MAKEINTRESOURCEW(next.templateId), dialog, next.proc, 0);
}

INT_PTR runLevelDialog(HWND dialog, UINT message, WPARAM wParam, const LevelDialog& level) {
  if (message == WM_INITDIALOG) {
    if (level.setUp) level.setUp(dialog);
    playJingle(Jingle::Opening);
    return TRUE;
  }
  if (message != WM_COMMAND) return FALSE;
  const WORD id = commandId(wParam);
  if (id == CTL_SUBMIT) {
    level.submit(dialog);
  } else if (id == IDCANCEL) {
    leaveLevel(dialog, IDCANCEL);
  } else if (level.extra && id == level.extraCommand) {
    level.extra(dialog);
  } else {
    return FALSE;
  }
  return TRUE;
}

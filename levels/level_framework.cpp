#include "level_framework.h"

#include "file_probe.h"
#include "resource.h"

HINSTANCE g_instance = nullptr;
Language g_language = Language::Chinese;

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

// In the order of the level table: levels 1 to 6, then the finish dialog.
const DLGPROC kProcedures[kFinish] = {SignupProc, ExamProc,   PhotoProc, SesameProc,
                                      ChatProc,   DinnerProc, AboutProc};

}  // namespace

const LevelTexts& levelTexts(int level) { return levelInfo(level).texts(g_language); }

const NoticeCaptions& captions() { return noticeCaptions(g_language); }

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

void runLevel(HWND owner, int level) {
  DialogBoxParamW(g_instance, MAKEINTRESOURCEW(levelInfo(level).templateId), owner,
                  kProcedures[level - 1], 0);
}

void leaveLevel(HWND dialog, WORD id) {
  EndDialog(dialog, id);
  playJingle(Jingle::Closing);
}

void passLevel(HWND dialog, int level) {
  playJingle(Jingle::Fanfare);
  showNotice(dialog, levelTexts(level).pass, captions().congrats);
  EndDialog(dialog, levelInfo(level).passResult);
  runLevel(dialog, level + 1);
}

INT_PTR runLevelDialog(HWND dialog, UINT message, WPARAM wParam, const LevelDialog& level) {
  if (message == WM_INITDIALOG) {
    if (level.setUp) level.setUp(dialog);
    playJingle(Jingle::Opening);
    return TRUE;
  }
  if (message != WM_COMMAND) return FALSE;
  const FileCheck* file = levelInfo(level.level).file;
  const WORD id = commandId(wParam);
  if (id == CTL_SUBMIT) {
    if (file) {
      probeFile(dialog, level.level);
    } else {
      level.submit(dialog);
    }
  } else if (id == IDCANCEL) {
    leaveLevel(dialog, IDCANCEL);
  } else if (file && id == CTL_BROWSE) {
    pickFile(dialog, file->filter);
  } else {
    return FALSE;
  }
  return TRUE;
}

#include "level_framework.h"

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

// One line of a verdict in its channel; level 2's index is formatted into its format.
void show(HWND dialog, const display::Line& line, const display::Verdict& verdict,
          const char* caption) {
  char formatted[256] = {};
  const char* text = line.text;
  if (verdict.text == display::Text::Index) {
    wsprintfA(formatted, line.text, verdict.index);
    text = formatted;
  }
  if (line.channel == display::Channel::Notice) {
    showNotice(dialog, text, caption);
  } else {
    SetDlgItemTextA(dialog, CTL_RESULT, text);
  }
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

void showVerdict(HWND dialog, int level, const display::Verdict& verdict) {
  const display::Shown shown = display::shown(level, levelTexts(level), verdict);
  for (int i = 0; i < shown.count; ++i) show(dialog, shown.lines[i], verdict, captions().error);
}

void passLevel(HWND dialog, int level) {
  const display::Verdict pass = {display::Text::Pass};
  const display::Shown shown = display::shown(level, levelTexts(level), pass);
  for (int i = 0; i + 1 < shown.count; ++i) show(dialog, shown.lines[i], pass, captions().congrats);
  playJingle(Jingle::Fanfare);
  show(dialog, shown.lines[shown.count - 1], pass, captions().congrats);
  EndDialog(dialog, levelInfo(level).passResult);
  runLevel(dialog, level + 1);
}

DIALOG_PROCEDURE INT_PTR runLevelDialog(HWND dialog, UINT message, WPARAM wParam,
                                        const LevelDialog& level) {
  if (message == WM_INITDIALOG) {
    if (level.setUp) level.setUp(dialog);
    playJingle(Jingle::Opening);
    return TRUE;
  }
  if (message != WM_COMMAND) return FALSE;
  const WORD id = commandId(wParam);
  if (id == CTL_SUBMIT) {
    level.submit(dialog, level.level);
  } else if (id == IDCANCEL) {
    leaveLevel(dialog, IDCANCEL);
  } else if (id == CTL_BROWSE && level.browse) {
    level.browse(dialog, level.level);
  } else {
    return FALSE;
  }
  return TRUE;
}

// Numeric identifiers of every resource and control of the game.
// Shared by the resource script, the C++ sources and the tests.
#pragma once

// Strings
#define STR_APP_TITLE 103
#define STR_WINDOW_CLASS 109

// Menu and accelerator table (same number, different resource types)
#define IDR_MAIN 109

// Icons. The platform headers also define ICON_SMALL (0, the WM_SETICON size); the small
// icon resource must win, so this header is included after <windows.h>.
#define ICON_MAIN 107
#ifdef ICON_SMALL
#undef ICON_SMALL
#endif
#define ICON_SMALL 108

// Dialog templates
#define DLG_ABOUT 103
#define DLG_LEVEL1_SIGNUP 129
#define DLG_LEVEL2_EXAM 130
#define DLG_LEVEL3_PHOTO 131
#define DLG_FINISH 132
#define DLG_LEVEL4_SESAME 135
#define DLG_LEVEL5_CHAT 137
#define DLG_LEVEL6_DINNER 138

// Menu commands
#define CMD_ABOUT 104
#define CMD_EXIT 105
#define CMD_START_GAME 32772

// Controls: level 1
#define CTL_QUIT 3
#define CTL_NOTICE 9
#define CTL_USER_NAME 1002

// Controls: level 2
#define CTL_WEIGHT 1003
#define CTL_SHOE_THICKNESS 1005
#define CTL_CLOTHES_WEIGHT 1006
#define CTL_HEIGHT 1007

// Controls shared by levels 2 to 6
#define CTL_SUBMIT 1008
#define CTL_RESULT 1009

// Controls shared by the file levels 3, 4 and 6
#define CTL_FILE_PATH 1011
#define CTL_BROWSE 1012

// Controls: level 5
#define CTL_MESSAGE 1014

// Labels and group boxes
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

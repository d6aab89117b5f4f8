#!/usr/bin/env bash
# Prepares (once) the game's private Wine prefix: code page 936 comes from the locale
# at run time; here we add the virtual desktop, CJK font links and the relay filter.
# Usage: scripts/wine-prefix.sh PREFIX_DIR
set -euo pipefail
prefix=${1:?prefix directory}
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

stamp=$prefix/.tumblewick-prefix-v3
fonts=$prefix/drive_c/windows/Fonts
# This Wine does not find the symbol font in its own data folder, so close boxes and other
# frame buttons show letters ("r" for the cross); a copy in the prefix's font folder does.
add_frame_font() {
  [ -f /usr/share/wine/fonts/marlett.ttf ] && [ -d "$fonts" ] &&
    cp -n /usr/share/wine/fonts/marlett.ttf "$fonts/" 2>/dev/null
  return 0
}
if [ -f "$stamp" ]; then
  add_frame_font
  exit 0
fi

mkdir -p "$prefix"
env LC_ALL=zh_CN.UTF-8 wineboot -i >/dev/null 2>&1 || true

reg() { env LC_ALL=zh_CN.UTF-8 wine reg add "$@" /f >/dev/null 2>&1; }
# A desktop that Wine draws itself: frames and captions without a window manager, and no
# two-second stall on every hidden window under Xvfb.
reg 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default
reg 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ /d 1600x1000
# Captions and message boxes use these faces; link them to a font that has the CJK glyphs.
for face in 'Tahoma' 'Tahoma Bold' 'MS Shell Dlg' 'MS Shell Dlg 2' 'Microsoft Sans Serif' \
            'SimSun' 'Segoe UI'; do
  reg 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
    /v "$face" /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei'
done
# The relay trace (WINEDEBUG=+relay) records only calls that the game's own code makes; which
# ones (RelayInclude) the Wine test driver writes before it starts the game. Wineboot's default
# exclusion list would make Wine ignore the inclusion list.
reg 'HKCU\Software\Wine\Debug' /v RelayFromInclude /t REG_SZ /d Velk_Game.exe
env LC_ALL=zh_CN.UTF-8 wine reg delete 'HKCU\Software\Wine\Debug' /v RelayFromExclude /f >/dev/null 2>&1 || true
# A crashing program ends at once instead of waiting for someone to close Wine's crash dialog.
reg 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0
add_frame_font
wineserver -w
touch "$stamp"

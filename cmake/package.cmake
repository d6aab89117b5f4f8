# The release's contents: the game, the console judge, the GUI fuzzer, the two starter files
# and the player's README (package.sh zips them, the same bytes on every build; `cmake --install`
# copies them into a folder).

install(TARGETS Velk_Game tumblewick-judge tumblewick-guifuzz RUNTIME DESTINATION .)
install(FILES ${TUMBLEWICK_SAMPLES} DESTINATION .)
# Windows line ends, so that every Notepad shows the lines; the text is UTF-8.
file(READ ${PROJECT_SOURCE_DIR}/docs/PLAYER_README.txt _readme)
string(REPLACE "\n" "\r\n" _readme "${_readme}")
file(WRITE ${CMAKE_BINARY_DIR}/package/README.txt "${_readme}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/docs/PLAYER_README.txt)
install(FILES ${CMAKE_BINARY_DIR}/package/README.txt DESTINATION .)

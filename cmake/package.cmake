# The release's contents, in the archive's order: the game, the console judge, the GUI fuzzer,
# the two starter files and the player's README. package.sh zips the files that
# package/contents.txt lists, the same bytes on every build; `cmake --install` copies them into
# a folder.

# Windows line ends, so that every Notepad shows the lines; the text is UTF-8.
file(READ ${PROJECT_SOURCE_DIR}/docs/PLAYER_README.txt _readme)
string(REPLACE "\n" "\r\n" _readme "${_readme}")
file(WRITE ${CMAKE_BINARY_DIR}/package/README.txt "${_readme}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/docs/PLAYER_README.txt)

set(_release $<TARGET_FILE:Velk_Game> $<TARGET_FILE:tumblewick-judge>
             $<TARGET_FILE:tumblewick-guifuzz> ${TUMBLEWICK_SAMPLES}
             ${CMAKE_BINARY_DIR}/package/README.txt)
install(FILES ${_release} DESTINATION .)
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/package/contents.txt CONTENT "$<JOIN:${_release},\n>\n")

# The release archive: the game, its two starter files and the player's README, in one ZIP
# with a top-level folder (cpack -G ZIP; package.sh does it all).

install(TARGETS Velk_Game RUNTIME DESTINATION .)
install(FILES ${TUMBLEWICK_SAMPLES} DESTINATION .)
# Windows line ends, so that every Notepad shows the lines; the text is UTF-8.
file(READ ${PROJECT_SOURCE_DIR}/docs/PLAYER_README.txt _readme)
string(REPLACE "\n" "\r\n" _readme "${_readme}")
file(WRITE ${CMAKE_BINARY_DIR}/package/README.txt "${_readme}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/docs/PLAYER_README.txt)
install(FILES ${CMAKE_BINARY_DIR}/package/README.txt DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Tumblewick)
set(CPACK_PACKAGE_VERSION 1.0)
set(CPACK_PACKAGE_FILE_NAME Tumblewick-1.0-win64)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "A Windows game that teaches fuzz testing")
include(CPack)

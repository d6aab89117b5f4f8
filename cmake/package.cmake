# The release's contents, in the archive's order: the game, the console judge, the GUI fuzzer,
# the two starter files, the player's README and the hints (docs/HINTS.txt, which ./fuzz.sh
# report writes from docs/hints.ini). package.sh zips the files that package/contents.txt
# lists, the same bytes on every build; `cmake --install` copies them into a folder.

# Windows line ends, so that every Notepad shows the lines; the text is UTF-8.
foreach(_text PLAYER_README:README HINTS:HINTS)
  string(REPLACE ":" ";" _text ${_text})
  list(GET _text 0 _source)
  list(GET _text 1 _name)
  file(READ ${PROJECT_SOURCE_DIR}/docs/${_source}.txt _content)
  string(REPLACE "\n" "\r\n" _content "${_content}")
  file(WRITE ${CMAKE_BINARY_DIR}/package/${_name}.txt "${_content}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               ${PROJECT_SOURCE_DIR}/docs/${_source}.txt)
endforeach()

set(_release $<TARGET_FILE:Velk_Game> $<TARGET_FILE:tumblewick-judge>
             $<TARGET_FILE:tumblewick-guifuzz> ${TUMBLEWICK_SAMPLES}
             ${CMAKE_BINARY_DIR}/package/README.txt ${CMAKE_BINARY_DIR}/package/HINTS.txt)
install(FILES ${_release} DESTINATION .)
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/package/contents.txt CONTENT "$<JOIN:${_release},\n>\n")

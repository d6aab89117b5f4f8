# The starter files 01.ZIP (level 4) and 02.ZIP (level 6) that the level texts speak of,
# copied beside the game. They are committed; a native test checks them against the rules.
set(TUMBLEWICK_SAMPLES ${CMAKE_BINARY_DIR}/game/01.ZIP ${CMAKE_BINARY_DIR}/game/02.ZIP)
add_custom_command(
  OUTPUT ${TUMBLEWICK_SAMPLES}
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/resources/01.ZIP
          ${PROJECT_SOURCE_DIR}/resources/02.ZIP ${CMAKE_BINARY_DIR}/game
  DEPENDS ${PROJECT_SOURCE_DIR}/resources/01.ZIP ${PROJECT_SOURCE_DIR}/resources/02.ZIP
  COMMENT "Copying the starter files 01.ZIP and 02.ZIP beside the game"
  VERBATIM)
add_custom_target(starter_samples ALL DEPENDS ${TUMBLEWICK_SAMPLES})

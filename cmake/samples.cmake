# The starter files 01.ZIP (level 4) and 02.ZIP (level 6), written beside the game by
# fuzz/make_samples, which checks each against the level rules first. A cross build cannot
# run what its own compiler makes, so there the tool is built with the host's compiler.

set(TUMBLEWICK_SAMPLES ${CMAKE_BINARY_DIR}/game/01.ZIP ${CMAKE_BINARY_DIR}/game/02.ZIP)
set(_samples_source ${PROJECT_SOURCE_DIR}/fuzz/make_samples.cpp)
file(GLOB _samples_headers ${PROJECT_SOURCE_DIR}/fuzz/samples.h ${PROJECT_SOURCE_DIR}/levels/*_rule.h)

if(CMAKE_CROSSCOMPILING)
  find_program(TUMBLEWICK_HOST_CXX NAMES c++ g++ clang++
               DOC "Host C++ compiler for the tool that writes the starter files")
  if(NOT TUMBLEWICK_HOST_CXX)
    message(FATAL_ERROR "No host C++ compiler (c++, g++ or clang++) for fuzz/make_samples.cpp")
  endif()
  set(_samples_tool ${CMAKE_BINARY_DIR}/host/make_samples)
  set(_samples_flags -std=c++17 -O1 -Wall -Wextra -Wpedantic -Wshadow -Wconversion)
  if(TUMBLEWICK_WERROR)
    list(APPEND _samples_flags -Werror)
  endif()
  add_custom_command(
    OUTPUT ${_samples_tool}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/host
    COMMAND ${TUMBLEWICK_HOST_CXX} ${_samples_flags} -I${PROJECT_SOURCE_DIR}/levels
            -I${PROJECT_SOURCE_DIR}/fuzz ${_samples_source} -o ${_samples_tool}
    DEPENDS ${_samples_source} ${_samples_headers}
    COMMENT "Building make_samples with the host compiler"
    VERBATIM)
  set(_samples_run ${_samples_tool})
else()
  add_executable(make_samples ${_samples_source})
  target_include_directories(make_samples PRIVATE fuzz)
  target_link_libraries(make_samples PRIVATE level_rules)
  tumblewick_warnings(make_samples)
  set(_samples_tool make_samples)
  set(_samples_run $<TARGET_FILE:make_samples>)
endif()

add_custom_command(
  OUTPUT ${TUMBLEWICK_SAMPLES}
  COMMAND ${_samples_run} ${CMAKE_BINARY_DIR}/game
  DEPENDS ${_samples_tool}
  COMMENT "Writing the starter files 01.ZIP and 02.ZIP beside the game"
  VERBATIM)
add_custom_target(starter_samples ALL DEPENDS ${TUMBLEWICK_SAMPLES})

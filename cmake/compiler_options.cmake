# Compiler settings shared by every target.

function(tumblewick_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 $<$<BOOL:${TUMBLEWICK_WERROR}>:/WX>)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                             $<$<BOOL:${TUMBLEWICK_WERROR}>:-Werror>)
  endif()
endfunction()

# Game text is written as UTF-8 in the sources and must be code page 936 bytes in the
# executable, because it goes through the ANSI functions. Wide literals stay UTF-16.
function(tumblewick_game_options target)
  tumblewick_warnings(${target})
  target_compile_definitions(${target} PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN)
  if(MSVC)
    target_compile_options(${target} PRIVATE /source-charset:utf-8 /execution-charset:.936)
    target_link_options(${target} PRIVATE /ENTRY:wWinMainCRTStartup)
    set_property(TARGET ${target} PROPERTY MSVC_RUNTIME_LIBRARY "MultiThreaded")
  else()
    target_compile_options(${target} PRIVATE -finput-charset=UTF-8 -fexec-charset=CP936)
    # -static: a clean Windows has no MinGW runtime DLLs to lend the game.
    target_link_options(${target} PRIVATE -municode -static -s)
  endif()
  tumblewick_reproducible(${target})
endfunction()

# A console tool: its texts stay UTF-8 (it converts them itself where a console needs
# UTF-16), and on Windows it is linked like the game, with wmain as its entry point.
function(tumblewick_console_options target)
  tumblewick_warnings(${target})
  if(MSVC)
    target_compile_options(${target} PRIVATE /utf-8)
    set_property(TARGET ${target} PROPERTY MSVC_RUNTIME_LIBRARY "MultiThreaded")
  elseif(WIN32)
    target_link_options(${target} PRIVATE -municode -static -s)
  endif()
  if(WIN32)
    tumblewick_reproducible(${target})
  endif()
endfunction()

# The same sources give the same executable wherever and whenever they are built: no time
# stamp in the PE header and no build or source folder in the code.
function(tumblewick_reproducible target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /Brepro)
    target_link_options(${target} PRIVATE /Brepro)
  else()
    target_compile_options(${target} PRIVATE -ffile-prefix-map=${PROJECT_SOURCE_DIR}=.
                                             -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
    if(WIN32)
      target_link_options(${target} PRIVATE -Wl,--no-insert-timestamp)
    endif()
  endif()
endfunction()

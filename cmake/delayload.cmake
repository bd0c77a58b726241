# Delay-load import libraries for the DLLs that only some commands need
# (comdlg32 for the file dialog, comctl32 for the menu pictures), so that
# start-up does not pay for loading them. The .def files name the functions
# with their 32-bit stdcall decorations; for 64-bit they are stripped.
function(kolvena_delayload_library out_var dll)
  set(def ${PROJECT_SOURCE_DIR}/cmake/delayload/${dll}.def)
  set(lib ${CMAKE_BINARY_DIR}/delayload/lib${dll}_delay.a)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(used_def ${CMAKE_BINARY_DIR}/delayload/${dll}.def)
    file(STRINGS ${def} lines)
    set(text "")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "@[0-9]+$" "" line "${line}")
      string(APPEND text "${line}\n")
    endforeach()
    file(WRITE ${used_def} "${text}")
    set(kill_at "")
  else()
    set(used_def ${def})
    set(kill_at --kill-at)
  endif()
  get_filename_component(bindir ${CMAKE_RC_COMPILER} DIRECTORY)
  string(REGEX REPLACE "windres$" "dlltool" dlltool ${CMAKE_RC_COMPILER})
  add_custom_command(OUTPUT ${lib}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/delayload
    COMMAND ${dlltool} ${kill_at} --input-def ${used_def} --output-delaylib ${lib}
    DEPENDS ${def}
    VERBATIM)
  add_custom_target(${dll}_delay DEPENDS ${lib})
  set(${out_var} ${lib} PARENT_SCOPE)
endfunction()

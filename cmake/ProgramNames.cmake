# The names the program gives its main window, read where the program defines them
# (src/app/win_main.cpp), so that the tests, the e2e driver and the scripts find the
# window by the names the program really uses. A change of either in the program
# follows everywhere; a change of how it spells them stops the configure.
#
# In CMake: include() this file, then
#   sessionvol_program_names(TITLE title CLASS class)
#   sessionvol_program_names_header(<file>)  writes MainWindowTitle and MainWindowClass
#                                             as a C++ header
# From a shell (what scripts/lib.sh's sessionvol_title does):
#   cmake -P cmake/ProgramNames.cmake         prints the title

set(sessionvol_program_names_source "${CMAKE_CURRENT_LIST_DIR}/../src/app/win_main.cpp")

function(sessionvol_program_name variable constant)
  file(STRINGS "${sessionvol_program_names_source}" lines REGEX "^constexpr char ${constant}\\[\\] = \"[^\"\\\\]*\";$")
  list(LENGTH lines count)
  if(NOT count EQUAL 1)
    message(FATAL_ERROR "src/app/win_main.cpp: expected one line `constexpr char ${constant}[] = \"...\";`, found ${count}")
  endif()
  string(REGEX REPLACE "^[^\"]*\"([^\"]*)\".*$" "\\1" name "${lines}")
  set(${variable} "${name}" PARENT_SCOPE)
endfunction()

function(sessionvol_program_names)
  cmake_parse_arguments(PARSE_ARGV 0 names "" "TITLE;CLASS" "")
  if(names_TITLE)
    sessionvol_program_name(title MainWindowTitle)
    set(${names_TITLE} "${title}" PARENT_SCOPE)
  endif()
  if(names_CLASS)
    sessionvol_program_name(class MainWindowClass)
    set(${names_CLASS} "${class}" PARENT_SCOPE)
  endif()
endfunction()

function(sessionvol_program_names_header file)
  sessionvol_program_names(TITLE title CLASS class)
  string(CONCAT content "// Written by cmake/ProgramNames.cmake from src/app/win_main.cpp: the names the program\n"
                       "// gives its main window. Edit them there.\n"
                       "#pragma once\n\n"
                       "inline constexpr char MainWindowTitle[] = \"${title}\";\n"
                       "inline constexpr char MainWindowClass[] = \"${class}\";\n")
  file(CONFIGURE OUTPUT "${file}" CONTENT "${content}" @ONLY)
  # A configure runs again when the program's names change.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${sessionvol_program_names_source}")
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  sessionvol_program_names(TITLE title)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E echo "${title}")
endif()

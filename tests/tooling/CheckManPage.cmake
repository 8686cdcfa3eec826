# Fails when man renders the page PAGE with a warning of groff's, any at
# all, at 80 columns; with HELP_OF (a program), also when an option or
# command its --help names is missing from the rendered page.

cmake_minimum_required(VERSION 3.25)

find_program(MAN man)
if(NOT MAN)
  message(FATAL_ERROR "man is missing: scripts/install-deps.sh installs man-db and groff-base")
endif()
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env MANWIDTH=80 LC_ALL=C.UTF-8 MAN_KEEP_FORMATTING=
          ${MAN} --warnings=w -l ${PAGE}
  OUTPUT_VARIABLE rendered ERROR_VARIABLE warnings RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
  message(FATAL_ERROR "man -l ${PAGE} (status ${status}):\n${warnings}")
endif()
if(rendered STREQUAL "")
  message(FATAL_ERROR "man -l ${PAGE} rendered nothing")
endif()

if(HELP_OF)
  execute_process(COMMAND ${HELP_OF} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${HELP_OF} --help failed with status ${status}")
  endif()
  # Lines joined, so that a name the page breaks over two lines still counts.
  string(REGEX REPLACE "[ \n]+" " " text "${rendered}")
  string(REGEX MATCHALL "--[a-z][a-z-]*" options "${help}")
  list(REMOVE_DUPLICATES options)
  set(missing)
  foreach(name IN LISTS options ITEMS "export" "chain show" "plugins" "presets")
    string(FIND "${text}" "${name}" at)
    if(at EQUAL -1)
      list(APPEND missing "${name}")
    endif()
  endforeach()
  if(missing)
    message(FATAL_ERROR "${PAGE} does not mention what --help names: ${missing}")
  endif()
endif()

# The product's version has one definition: kVersionText in
# plugin/boundary/PelmoraConstants.h, the exact text the descriptor hands the
# host. This file reads it before project(), so the project's numeric version,
# the Windows version resources, the man page and the package names all
# follow it.
#
#   PELMORA_VERSION_TEXT   "1.0.02", as the user sees it everywhere
#   PELMORA_VERSION        "1.0.2", its numbers (leading zeros dropped)
#   PELMORA_COPYRIGHT      the copyright line of LICENSE
#
# As a script it prints the version text (cmake -P cmake/Version.cmake), or
# its numbers with -DPRINT=numbers.
get_filename_component(_pelmora_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(_pelmora_constants "${_pelmora_root}/plugin/boundary/PelmoraConstants.h")

file(STRINGS "${_pelmora_constants}" _line REGEX "kVersionText = \"[^\"]*\"")
if(NOT _line MATCHES "kVersionText = \"(([0-9]+)\\.([0-9]+)\\.([0-9]+))\"")
  message(FATAL_ERROR "${_pelmora_constants}: no kVersionText of the form \"1.0.02\"")
endif()
set(PELMORA_VERSION_TEXT "${CMAKE_MATCH_1}")
# math() drops the leading zeros that a CMake version may not carry.
math(EXPR PELMORA_VERSION_MAJOR "${CMAKE_MATCH_2}")
math(EXPR PELMORA_VERSION_MINOR "${CMAKE_MATCH_3}")
math(EXPR PELMORA_VERSION_PATCH "${CMAKE_MATCH_4}")
set(PELMORA_VERSION "${PELMORA_VERSION_MAJOR}.${PELMORA_VERSION_MINOR}.${PELMORA_VERSION_PATCH}")

file(STRINGS "${_pelmora_root}/LICENSE" PELMORA_COPYRIGHT REGEX "^Copyright " LIMIT_COUNT 1)
if(NOT PELMORA_COPYRIGHT)
  message(FATAL_ERROR "${_pelmora_root}/LICENSE: no copyright line")
endif()

if(CMAKE_SCRIPT_MODE_FILE)
  if(PRINT STREQUAL "numbers")
    execute_process(COMMAND "${CMAKE_COMMAND}" -E echo "${PELMORA_VERSION}")
  else()
    execute_process(COMMAND "${CMAKE_COMMAND}" -E echo "${PELMORA_VERSION_TEXT}")
  endif()
else()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${_pelmora_constants}" "${_pelmora_root}/LICENSE")
endif()

# The shipped build: the same bytes from the same commit wherever it is built
# (scripts/release.sh turns PELMORA_RELEASE on), and on Windows the version
# resources of Pelmora.dll and pelmora.exe. Included right after project().
option(PELMORA_RELEASE "Build the shipped binaries: stripped, hardened, no build path inside" OFF)

if(PELMORA_RELEASE)
  # Paths of the source and build folders would otherwise land in debug
  # information and in __FILE__ texts.
  add_compile_options("-ffile-prefix-map=${CMAKE_SOURCE_DIR}=." "-ffile-prefix-map=${CMAKE_BINARY_DIR}=.")
  # Stripped when linked: no symbol table or debug information is shipped.
  add_link_options(-s)
  if(NOT WIN32)
    add_compile_options(-fstack-protector-strong -D_FORTIFY_SOURCE=2)
    add_link_options(-Wl,-z,relro -Wl,-z,now)
  endif()
endif()

if(WIN32)
  # A PE file carries its link time unless told not to.
  add_link_options(-Wl,--no-insert-timestamp)

  # configure_file cannot see the targets' file names, so they are named here;
  # the release check compares them with the files in the zip.
  function(_pelmora_version_resource target file_name internal_name file_type description_ru description_en)
    set(PELMORA_FILE_NAME "${file_name}")
    set(PELMORA_INTERNAL_NAME "${internal_name}")
    set(PELMORA_FILE_TYPE "${file_type}")
    set(PELMORA_DESCRIPTION_RU "${description_ru}")
    set(PELMORA_DESCRIPTION_EN "${description_en}")
    string(REPLACE "(c)" "©" PELMORA_COPYRIGHT "${PELMORA_COPYRIGHT}")
    set(rc "${CMAKE_BINARY_DIR}/version-${target}.rc")
    configure_file("${CMAKE_SOURCE_DIR}/resources/Version.rc.in" "${rc}" @ONLY)
    if(NOT TARGET ${target})
      message(FATAL_ERROR "no target ${target} for the version resource of ${file_name}")
    endif()
    target_sources(${target} PRIVATE "${rc}")
  endfunction()

  function(_pelmora_version_resources)
    _pelmora_version_resource(pelmora_plugin Pelmora.dll Pelmora 0x2  # VFT_DLL
      "Pelmora ID3 — плагин переименования MP3-файлов по тегам"
      "Pelmora ID3: rename plug-in that names MP3 files after their tags")
    _pelmora_version_resource(pelmora pelmora.exe pelmora 0x1  # VFT_APP
      "Pelmora — переименование MP3-файлов по тегам из командной строки"
      "Pelmora: renames MP3 files after their tags from the command line")
  endfunction()
  # After the whole tree is read, when both targets exist wherever they are defined.
  cmake_language(DEFER CALL _pelmora_version_resources)
endif()

# A man page whose header names this version: the source's .TH line says only
# "Pelmora", the installed copy "Pelmora <version>".
function(pelmora_install_man_page source destination)
  get_filename_component(name "${source}" NAME)
  file(READ "${source}" text)
  string(REGEX REPLACE "(\n\\.TH [^\n]*)\"Pelmora\"" "\\1\"Pelmora ${PELMORA_VERSION_TEXT}\"" text "${text}")
  if(NOT text MATCHES "\n\\.TH [^\n]*\"Pelmora ${PELMORA_VERSION_TEXT}\"")
    message(FATAL_ERROR "${source}: its .TH line names no \"Pelmora\" to give the version")
  endif()
  file(WRITE "${CMAKE_CURRENT_BINARY_DIR}/${name}" "${text}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${source}")
  install(FILES "${CMAKE_CURRENT_BINARY_DIR}/${name}" DESTINATION "${destination}")
endfunction()

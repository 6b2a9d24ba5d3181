# SPDX-License-Identifier: MIT
# vellum_windows_resources(TARGET FILE_NAME ASSEMBLY DESCRIPTION) gives a Windows program its
# application manifest, icon and version information, compiled by windres from
# platform/win32/resources/program.rc.in. The version comes from project(VERSION) through
# configure_file: windres takes no quoted string definitions on its command line, and CMake
# embeds .manifest sources for MSVC only.
function(vellum_windows_resources target file_name assembly description)
  set(_templates ${PROJECT_SOURCE_DIR}/platform/win32/resources)
  set(_out ${CMAKE_CURRENT_BINARY_DIR}/resources/${target})
  set(VELLUM_RC_FILE_NAME ${file_name})
  get_filename_component(VELLUM_RC_INTERNAL_NAME ${file_name} NAME_WE)
  set(VELLUM_RC_ASSEMBLY ${assembly})
  set(VELLUM_RC_DESCRIPTION ${description})
  set(VELLUM_RC_MANIFEST ${_out}/program.manifest)
  set(VELLUM_RC_ICON ${PROJECT_SOURCE_DIR}/platform/icon/vellum.ico)
  configure_file(${_templates}/program.manifest.in ${VELLUM_RC_MANIFEST} @ONLY)
  configure_file(${_templates}/program.rc.in ${_out}/program.rc @ONLY)
  # windres reports no dependencies of its own. An object library of its own keeps the C++
  # warning options of the program away from windres.
  set_source_files_properties(${_out}/program.rc PROPERTIES OBJECT_DEPENDS
                              "${VELLUM_RC_MANIFEST};${VELLUM_RC_ICON}")
  add_library(${target}_resources OBJECT ${_out}/program.rc)
  target_sources(${target} PRIVATE $<TARGET_OBJECTS:${target}_resources>)
endfunction()

# Settings shared by every Windows program of the product.

add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                        _WIN32_WINNT=0x0601 WINVER=0x0601)
add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-Wall> $<$<COMPILE_LANGUAGE:CXX>:-Wextra>)
# Deliverables import only system DLLs. Programs with wmain or wWinMain add
# -municode themselves (the tests keep GoogleTest's narrow main).
add_link_options(-static)
# Reproducible programs: no link time in the headers, and neither the source
# nor the build folder in anything compiled (debug info, __FILE__ in asserts),
# so that a rebuild elsewhere gives the same bytes.
add_link_options(-Wl,--no-insert-timestamp)
add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}=src>"
                    "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}=build>")
# Resource scripts are UTF-8.
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")

# wine_path(<out> <unix path>): the path as a Windows program under Wine sees it.
function(wine_path out unix_path)
  string(REPLACE "/" "\\" windows_path "Z:${unix_path}")
  set(${out} "${windows_path}" PARENT_SCOPE)
endfunction()

# unicode_program(<target>): the entry point is wmain or wWinMain.
function(unicode_program target)
  target_link_options(${target} PRIVATE -municode)
endfunction()

# Unstripped copies of the deliverables, for debugging what was shipped.
set(WENDREL_SYMBOLS_DIR ${CMAKE_BINARY_DIR}/symbols CACHE PATH "Folder that receives the unstripped programs")
set(WENDREL_VERSION 1.0.0.0 CACHE STRING "Version written into the programs' version resources (a.b.c.d)")
set(WENDREL_VERSION_RC_IN ${CMAKE_CURRENT_LIST_DIR}/version.rc.in)
# Release builds sign each staged program in place as soon as it is stripped,
# so that the helpers are signed before the launcher embeds them.
set(WENDREL_SIGN_COMMAND "" CACHE FILEPATH "Program run with a staged program's path to sign it in place (empty: unsigned)")

# stage_program(<target> [SUBDIR dir] [DESCRIPTION text]): a deliverable gets
# a version resource, is linked into the symbols folder and copied stripped
# into the dist folder (with a debug link to its unstripped copy).
function(stage_program target)
  cmake_parse_arguments(ARG "" "SUBDIR;DESCRIPTION" "" ${ARGN})
  set(dist ${WENDREL_DIST_DIR})
  set(symbols ${WENDREL_SYMBOLS_DIR})
  if(ARG_SUBDIR)
    set(dist ${dist}/${ARG_SUBDIR})
    set(symbols ${symbols}/${ARG_SUBDIR})
  endif()
  if(NOT ARG_DESCRIPTION)
    set(ARG_DESCRIPTION ${target})
  endif()

  get_target_property(name ${target} OUTPUT_NAME)
  if(NOT name)
    set(name ${target})
  endif()
  set(VERSION_FILE_NAME ${name}.exe)
  set(VERSION_INTERNAL_NAME ${name})
  set(VERSION_DESCRIPTION ${ARG_DESCRIPTION})
  set(VERSION_TEXT ${WENDREL_VERSION})
  string(REPLACE "." "," VERSION_COMMAS ${WENDREL_VERSION})
  configure_file(${WENDREL_VERSION_RC_IN} ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)

  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${symbols})
  set(sign "")
  if(WENDREL_SIGN_COMMAND)
    set(sign COMMAND ${WENDREL_SIGN_COMMAND} ${dist}/${name}.exe)
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dist}
    # Rewriting a program stamps the time into its header unless told a fixed one.
    COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0
            ${CMAKE_STRIP} --strip-all -o ${dist}/${name}.exe $<TARGET_FILE:${target}>
    COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0
            ${CMAKE_OBJCOPY} --add-gnu-debuglink=$<TARGET_FILE:${target}> ${dist}/${name}.exe
    ${sign}
    BYPRODUCTS ${dist}/${name}.exe
    VERBATIM)
endfunction()

# The list of media files a release build writes into a program (resource
# 4000, RT_RCDATA) before it is signed; empty: the program carries none.
set(WENDREL_LAUNCHER_MEDIA_LIST "" CACHE FILEPATH "Media list the launcher carries (empty: none)")
set(WENDREL_SETUP_MEDIA_LIST "" CACHE FILEPATH "Media list Setup.exe carries (empty: none)")

# carry_media_list(<target> <list file or empty>)
function(carry_media_list target list)
  if(NOT list)
    return()
  endif()
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_media_list.rc)
  file(CONFIGURE OUTPUT ${rc} CONTENT
"// The media files this program vouches for, from the release command.
#include <windows.h>

LANGUAGE LANG_NEUTRAL, SUBLANG_NEUTRAL

4000 RCDATA \"@list@\"
" @ONLY)
  target_sources(${target} PRIVATE ${rc})
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${list})
endfunction()

# Parsing windows.h and the standard library is most of every compile here.
set(WENDREL_PRECOMPILED_HEADERS <windows.h> <algorithm> <cstdint> <cwchar> <functional> <memory> <optional> <string>
    <vector>)
# share_precompiled_headers(<from> <folder> [EXCEPT target...]): every C++
# target under <folder> uses the precompiled headers of <from>. GCC checks
# that the flags match and, where they do not, reads the headers as text, so
# a mismatch costs time, never a different program.
function(share_precompiled_headers from folder)
  cmake_parse_arguments(ARG "" "" "EXCEPT" ${ARGN})
  get_directory_property(targets DIRECTORY ${folder} BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(target STREQUAL from OR target IN_LIST ARG_EXCEPT OR NOT type MATCHES "^(STATIC_LIBRARY|OBJECT_LIBRARY|EXECUTABLE)$")
      continue()
    endif()
    get_target_property(sources ${target} SOURCES)
    if(sources MATCHES "\\.cpp(;|$)")
      target_precompile_headers(${target} REUSE_FROM ${from})
    endif()
  endforeach()
  get_directory_property(folders DIRECTORY ${folder} SUBDIRECTORIES)
  foreach(subfolder IN LISTS folders)
    share_precompiled_headers(${from} ${subfolder} EXCEPT ${ARG_EXCEPT})
  endforeach()
endfunction()

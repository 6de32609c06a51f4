# Settings shared by every Windows program of the product.

add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                        _WIN32_WINNT=0x0601 WINVER=0x0601)
add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-Wall> $<$<COMPILE_LANGUAGE:CXX>:-Wextra>)
# Deliverables import only system DLLs. Programs with wmain or wWinMain add
# -municode themselves (the tests keep GoogleTest's narrow main).
add_link_options(-static)
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

# stage_program(<target> [SUBDIR dir]): put a deliverable into the dist folder.
function(stage_program target)
  cmake_parse_arguments(ARG "" "SUBDIR" "" ${ARGN})
  set(dir ${WENDREL_DIST_DIR})
  if(ARG_SUBDIR)
    set(dir ${dir}/${ARG_SUBDIR})
  endif()
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${dir})
endfunction()

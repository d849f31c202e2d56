# Runs `cmake --install` into PREFIX and checks the installed tree: the programs, the desktop entry, the
# AppStream metadata and every icon size, and that the names inside them point at files that exist.
# Arguments: BUILD_DIR, PREFIX, optionally APPSTREAMCLI.
cmake_minimum_required(VERSION 3.25)

foreach(argument BUILD_DIR PREFIX)
  if(NOT ${argument})
    message(FATAL_ERROR "CheckInstall.cmake needs -D${argument}=...")
  endif()
endforeach()

file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${result}):\n${output}")
endif()

set(id io.quillfern.Quillfern)
set(failures "")
macro(expect_file path)
  if(NOT EXISTS "${PREFIX}/${path}" OR IS_DIRECTORY "${PREFIX}/${path}")
    list(APPEND failures "missing ${path}")
  endif()
endmacro()

foreach(program quillfern quillfern-server)
  expect_file(bin/${program})
  if(EXISTS "${PREFIX}/bin/${program}")
    file(GET_RUNTIME_DEPENDENCIES EXECUTABLES "${PREFIX}/bin/${program}" RESOLVED_DEPENDENCIES_VAR ignored
         UNRESOLVED_DEPENDENCIES_VAR unresolved)
    if(unresolved)
      list(APPEND failures "bin/${program} needs libraries not found: ${unresolved}")
    endif()
  endif()
endforeach()
expect_file(share/applications/${id}.desktop)
expect_file(share/metainfo/${id}.metainfo.xml)
expect_file(share/icons/hicolor/scalable/apps/${id}.svg)
foreach(size 16 24 32 48 64 128 256 512)
  expect_file(share/icons/hicolor/${size}x${size}/apps/${id}.png)
endforeach()

# Only icons belong in the hicolor tree; a stray source drawing there would be offered as an icon.
file(GLOB_RECURSE hicolor_files RELATIVE "${PREFIX}/share/icons/hicolor" "${PREFIX}/share/icons/hicolor/*")
foreach(path IN LISTS hicolor_files)
  if(NOT path MATCHES "^(scalable|[0-9]+x[0-9]+)/apps/${id}\\.(svg|png)$")
    list(APPEND failures "unexpected file in the icon theme: ${path}")
  endif()
endforeach()

# The desktop entry names the icon and the program; the metadata names the desktop entry and the program.
if(EXISTS "${PREFIX}/share/applications/${id}.desktop")
  file(STRINGS "${PREFIX}/share/applications/${id}.desktop" icon_line REGEX "^Icon=")
  file(STRINGS "${PREFIX}/share/applications/${id}.desktop" exec_line REGEX "^Exec=")
  if(NOT icon_line STREQUAL "Icon=${id}")
    list(APPEND failures "desktop entry has '${icon_line}', not Icon=${id}")
  endif()
  string(REGEX REPLACE "^Exec=([^ ]+).*" "\\1" exec_program "${exec_line}")
  if(NOT EXISTS "${PREFIX}/bin/${exec_program}")
    list(APPEND failures "desktop entry runs '${exec_program}', which is not installed in bin")
  endif()
endif()
if(EXISTS "${PREFIX}/share/metainfo/${id}.metainfo.xml")
  file(READ "${PREFIX}/share/metainfo/${id}.metainfo.xml" metainfo)
  string(REGEX MATCH "<launchable type=\"desktop-id\">([^<]+)</launchable>" ignored "${metainfo}")
  if(NOT EXISTS "${PREFIX}/share/applications/${CMAKE_MATCH_1}")
    list(APPEND failures "metadata launches '${CMAKE_MATCH_1}', which is not installed")
  endif()
  string(REGEX MATCH "<binary>([^<]+)</binary>" ignored "${metainfo}")
  if(NOT EXISTS "${PREFIX}/bin/${CMAKE_MATCH_1}")
    list(APPEND failures "metadata provides the program '${CMAKE_MATCH_1}', which is not installed")
  endif()
endif()

# The AppStream tool checks the installed tree as a software centre would read it.
if(APPSTREAMCLI AND EXISTS "${PREFIX}/share/metainfo/${id}.metainfo.xml")
  execute_process(COMMAND ${APPSTREAMCLI} validate-tree --no-net "${PREFIX}"
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    list(APPEND failures "appstreamcli validate-tree:\n${output}")
  endif()
endif()

if(failures)
  list(JOIN failures "\n  " report)
  message(FATAL_ERROR "installed tree under ${PREFIX}:\n  ${report}")
endif()
message(STATUS "installed tree under ${PREFIX} is complete")

# Runs `systemd-analyze verify` on the shipped units, with ExecStart= pointing at the built service since the
# check wants every program a unit names to exist. Arguments: UNIT_DIR, SERVER, WORK, SYSTEMD_ANALYZE.
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
set(units "")
foreach(unit quillfern-server.service quillfern-server@.service)
  file(READ "${UNIT_DIR}/${unit}" text)
  string(REPLACE "ExecStart=/usr/bin/quillfern-server" "ExecStart=${SERVER}" text "${text}")
  # A template is verified through one of its instances.
  string(REPLACE "@.service" "@8781.service" instance "${unit}")
  file(WRITE "${WORK}/${instance}" "${text}")
  list(APPEND units "${WORK}/${instance}")
endforeach()
# Without a terminal systemd would log to the journal, and the check would see nothing.
execute_process(COMMAND ${CMAKE_COMMAND} -E env SYSTEMD_LOG_TARGET=console ${SYSTEMD_ANALYZE} verify ${units} RESULT_VARIABLE result OUTPUT_VARIABLE output
                ERROR_VARIABLE output)
if(NOT result EQUAL 0 OR NOT output STREQUAL "")
  message(FATAL_ERROR "systemd-analyze verify (${result}):\n${output}")
endif()

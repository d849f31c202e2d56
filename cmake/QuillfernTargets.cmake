# House defaults for every target built from our own sources.
function(quillfern_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  get_target_property(type ${target} TYPE)
  get_target_property(qt_free ${target} QUILLFERN_QT_FREE)
  if(NOT qt_free)
    target_compile_definitions(${target} PRIVATE
      QT_NO_KEYWORDS QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_URL_CAST_FROM_STRING QT_NO_FOREACH
      QT_NO_CAST_FROM_BYTEARRAY)
  endif()
endfunction()

# One QtTest executable registered with CTest; tests run offscreen and with a pinned environment.
function(quillfern_test name)
  cmake_parse_arguments(arg "" "" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE Qt6::Test ${arg_LIBRARIES})
  quillfern_defaults(${name})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8"
    TIMEOUT 120)
endfunction()

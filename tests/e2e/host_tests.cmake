# End-to-end tests for the host ctest: each GoogleTest test of the Win32
# driver (e2e_tests.exe, from the win32 build) becomes one ctest test run
# under Wine, so `ctest --test-dir build/host` covers unit and end-to-end
# tests with one summary. The tests are found by reading the driver's test
# sources; the Wine session (Xvfb + wineserver) is a ctest fixture unless the
# caller runs one of its own (see wine-session.sh).
option(TZ_E2E_TESTS "Register the end-to-end tests (Wine) with ctest" ON)
set(TZ_E2E_WIN32_DIR "${CMAKE_SOURCE_DIR}/build/win32" CACHE PATH
    "Windows build folder whose tzdebug.exe, TZ810DLL.DLL and e2e_tests.exe the tests run (build/win64 where 32-bit programs cannot run)")

if(TZ_E2E_TESTS)
  set(_e2e_dir ${CMAKE_CURRENT_LIST_DIR})
  set(_e2e_session ${_e2e_dir}/wine-session.sh)
  set(_e2e_state ${CMAKE_BINARY_DIR}/e2e-wine-session.env)
  set(_e2e_exe ${TZ_E2E_WIN32_DIR}/e2e_tests.exe)

  add_test(NAME e2e_wine_start COMMAND ${_e2e_session} start ${_e2e_state})
  set_tests_properties(e2e_wine_start PROPERTIES FIXTURES_SETUP e2e_wine TIMEOUT 300)
  add_test(NAME e2e_wine_stop COMMAND ${_e2e_session} stop ${_e2e_state})
  set_tests_properties(e2e_wine_stop PROPERTIES FIXTURES_CLEANUP e2e_wine TIMEOUT 60)

  file(GLOB _e2e_sources CONFIGURE_DEPENDS ${_e2e_dir}/*_test.cpp)
  foreach(_src ${_e2e_sources})
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_src})
    file(STRINGS ${_src} _lines REGEX "^[ \t]*TEST(_F|_P)?\\(")
    foreach(_line ${_lines})
      if(_line MATCHES "^[ \t]*TEST(_F|_P)?\\([ \t]*([A-Za-z0-9_]+)[ \t]*,[ \t]*([A-Za-z0-9_]+)")
        set(_suite ${CMAKE_MATCH_2})
        set(_name ${CMAKE_MATCH_3})
        if(CMAKE_MATCH_1 STREQUAL "_P")
          set(_filter "*${_suite}.${_name}/*")
        else()
          set(_filter "${_suite}.${_name}")
        endif()
        # Bad input pasted into a box of each panel is a robustness run, like
        # the sanitizers and the fuzzers, not a check of one behaviour: it is
        # named apart, so that `-R e2e` selects the behaviour checks alone,
        # and it gets the time that long pasted text takes Wine's edit boxes
        # on a busy machine.
        if(_suite STREQUAL "BadInput")
          set(_test robust.${_suite}.${_name})
          set(_timeout 600)
        else()
          set(_test e2e.${_suite}.${_name})
          set(_timeout 180)
        endif()
        add_test(NAME ${_test}
                 COMMAND ${_e2e_session} run ${_e2e_state} ${_e2e_exe}
                         --gtest_filter=${_filter} --gtest_color=no)
        # One program under test at a time: the runs share the Wine prefix.
        set_tests_properties(${_test} PROPERTIES
          FIXTURES_REQUIRED e2e_wine RESOURCE_LOCK tzdebug_e2e TIMEOUT ${_timeout}
          FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]|0 tests from 0 test suites")
      endif()
    endforeach()
  endforeach()
endif()

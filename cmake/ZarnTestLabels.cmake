# Read by ctest after the discovered GoogleTest cases are added: gives each case one label by
# where its suite is written, so `ctest -L` and `-LE` pick parts of the suite. The sources are
# read at each ctest run, so a new test file or suite is labelled without a new configure.
#   crash     suites named *CrashTest: a child process killed in the middle of a write
#   soak      suites written in tests/soak
#   scenario  suites written in tests/scenarios and tests/hardening: the whole library at work
#   unit      every other suite
# Expects ZARN_TESTS_DIR (the source tests/ folder) and the discovered names in zarn_tests_TESTS.
set(_zarn_label_dirs "soak:soak" "scenario:scenarios" "scenario:hardening")
foreach(_zarn_rule IN LISTS _zarn_label_dirs)
  string(REPLACE ":" ";" _zarn_rule "${_zarn_rule}")
  list(GET _zarn_rule 0 _zarn_label)
  list(GET _zarn_rule 1 _zarn_dir)
  file(GLOB _zarn_files "${ZARN_TESTS_DIR}/${_zarn_dir}/*.cpp")
  foreach(_zarn_file IN LISTS _zarn_files)
    file(STRINGS "${_zarn_file}" _zarn_lines REGEX "^(TYPED_)?TEST(_F|_P)?\\([ ]*[A-Za-z0-9_]+")
    foreach(_zarn_line IN LISTS _zarn_lines)
      string(REGEX REPLACE "^(TYPED_)?TEST(_F|_P)?\\([ ]*([A-Za-z0-9_]+).*" "\\3" _zarn_suite "${_zarn_line}")
      set(_zarn_suite_label_${_zarn_suite} ${_zarn_label})
    endforeach()
  endforeach()
endforeach()

foreach(_zarn_test IN LISTS zarn_tests_TESTS)
  # "Prefix/Suite.Case/Param" and "Suite.Case": the suite sits before the first dot.
  string(REGEX REPLACE "\\..*" "" _zarn_suite "${_zarn_test}")
  string(REGEX REPLACE ".*/" "" _zarn_suite "${_zarn_suite}")
  if(_zarn_suite MATCHES "CrashTest$")
    set(_zarn_label crash)
  elseif(DEFINED _zarn_suite_label_${_zarn_suite})
    set(_zarn_label ${_zarn_suite_label_${_zarn_suite}})
  else()
    set(_zarn_label unit)
  endif()
  list(APPEND _zarn_tests_${_zarn_label} "${_zarn_test}")
endforeach()
foreach(_zarn_label unit scenario crash soak)
  if(_zarn_tests_${_zarn_label})
    set_tests_properties(${_zarn_tests_${_zarn_label}} PROPERTIES LABELS ${_zarn_label})
  endif()
endforeach()

# Read by ctest after the discovered GoogleTest cases are added: gives each case one label by
# what its suite does, read from the sources, so `ctest -L` and `-LE` pick parts of the suite. The
# sources are read at each ctest run, so a new test file or suite is labelled without a new
# configure.
#   crash     suites named *CrashTest: a child process killed in the middle of a write
#   soak      suites written in tests/soak
#   scenario  suites that start the whole library: through the public entry (ZarnBase's
#             initialisation, the StartedLibraryTest fixture) or by building the module itself,
#             always on the simulated device; and every suite in tests/scenarios and tests/hardening
#   unit      every other suite: one class or one layer, with the simulated platform under it
# A suite starts the library when one of its tests, its fixture or a fixture it derives from
# names one of those starts. Expects ZARN_TESTS_DIR (the source tests/ folder) and the
# discovered names in zarn_tests_TESTS.
set(_zarn_starts "StartedLibraryTest|ZarnBase::(initialize|performInitialization)|make_shared<ZarnPModule>")
set(_zarn_owners "^((TYPED_)?TEST(_F|_P)?\\(|(class|struct) [A-Za-z0-9_]+|using [A-Za-z0-9_]+ =)")
file(GLOB_RECURSE _zarn_files "${ZARN_TESTS_DIR}/*.cpp")
foreach(_zarn_file IN LISTS _zarn_files)
  if(_zarn_file MATCHES "/tests/consumer/")
    continue()
  endif()
  set(_zarn_dir_label "")
  if(_zarn_file MATCHES "/tests/soak/")
    set(_zarn_dir_label soak)
  elseif(_zarn_file MATCHES "/tests/(scenarios|hardening)/")
    set(_zarn_dir_label scenario)
  endif()
  # Only the lines that open a test or a class and the lines that start the library: each start
  # belongs to the test or class opened last above it.
  file(STRINGS "${_zarn_file}" _zarn_lines REGEX "${_zarn_owners}|${_zarn_starts}")
  set(_zarn_owner "")
  foreach(_zarn_line IN LISTS _zarn_lines)
    if(_zarn_line MATCHES "^(TYPED_)?TEST(_F|_P)?\\([ ]*([A-Za-z0-9_]+)")
      set(_zarn_owner ${CMAKE_MATCH_3})
      list(APPEND _zarn_suites ${_zarn_owner})
      if(_zarn_dir_label)
        set(_zarn_suite_label_${_zarn_owner} ${_zarn_dir_label})
      endif()
    elseif(_zarn_line MATCHES "^(class|struct) ([A-Za-z0-9_]+)(.*)")
      # A fixture and the names it derives from, namespaces and all.
      set(_zarn_owner ${CMAKE_MATCH_2})
      string(REGEX MATCHALL "[A-Za-z0-9_]+" _zarn_bases_${_zarn_owner} "${CMAKE_MATCH_3}")
    elseif(_zarn_line MATCHES "^using ([A-Za-z0-9_]+) =(.*)")
      set(_zarn_owner ${CMAKE_MATCH_1})
      string(REGEX MATCHALL "[A-Za-z0-9_]+" _zarn_bases_${_zarn_owner} "${CMAKE_MATCH_2}")
    endif()
    if(_zarn_owner AND _zarn_line MATCHES "${_zarn_starts}")
      set(_zarn_starts_${_zarn_owner} TRUE)
    endif()
  endforeach()
endforeach()

# Two steps up the fixtures reach every suite of the tree from the fixture that starts it.
foreach(_zarn_suite IN LISTS _zarn_suites)
  set(_zarn_ancestors ${_zarn_suite})
  foreach(_zarn_base IN LISTS _zarn_bases_${_zarn_suite})
    list(APPEND _zarn_ancestors ${_zarn_base} ${_zarn_bases_${_zarn_base}})
  endforeach()
  foreach(_zarn_ancestor IN LISTS _zarn_ancestors)
    if(_zarn_starts_${_zarn_ancestor} AND NOT DEFINED _zarn_suite_label_${_zarn_suite})
      set(_zarn_suite_label_${_zarn_suite} scenario)
    endif()
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

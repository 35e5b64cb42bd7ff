include(GoogleTest)
include(${CMAKE_CURRENT_LIST_DIR}/VersionNote.cmake)

# ri_add_program(NAME SOURCES ... LIBS ...)
# A program of ours (tool, benchmark, the GUI): an executable that carries
# the project's version note.
function(ri_add_program name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  ri_add_version_note(${name})
endfunction()

# ri_add_test_binary(NAME SOURCES ... LIBS ...)
# One GoogleTest binary per layer, linked with the shared test support,
# carrying the version note like every program, and registered with CTest
# test by test.
function(ri_add_test_binary name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} test_support GTest::gmock GTest::gtest GTest::gtest_main)
  ri_add_version_note(${name})
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
    DISCOVERY_TIMEOUT 60)
endfunction()

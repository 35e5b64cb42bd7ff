include(GoogleTest)
include(${CMAKE_CURRENT_LIST_DIR}/VersionNote.cmake)

# In the sanitizer build every program and test binary carries the leak
# suppressions of cmake/LeakSuppressions.cpp, so a test gives the same result
# however it is started (ctest with or without the preset, or by hand).
function(ri_add_sanitizer_defaults target)
  if(RI_SANITIZE)
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/cmake/LeakSuppressions.cpp)
  endif()
endfunction()

# ri_add_program(NAME SOURCES ... LIBS ...)
# A program of ours (tool, benchmark, the GUI): an executable that carries
# the project's version note.
function(ri_add_program name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  ri_add_version_note(${name})
  ri_add_sanitizer_defaults(${name})
endfunction()

# ri_add_test_binary(NAME SOURCES ... LIBS ... [QT_PLATFORM p] [RESOURCE_LOCK r])
# One GoogleTest binary per layer, linked with the shared test support,
# carrying the version note like every program, and registered with CTest
# test by test. Widgets are offscreen unless QT_PLATFORM names another Qt
# platform; tests sharing a RESOURCE_LOCK never run at the same time.
function(ri_add_test_binary name)
  cmake_parse_arguments(ARG "" "QT_PLATFORM;RESOURCE_LOCK" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_QT_PLATFORM)
    set(ARG_QT_PLATFORM offscreen)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} test_support GTest::gmock GTest::gtest GTest::gtest_main)
  ri_add_version_note(${name})
  ri_add_sanitizer_defaults(${name})
  set(properties ENVIRONMENT "QT_QPA_PLATFORM=${ARG_QT_PLATFORM}")
  if(ARG_RESOURCE_LOCK)
    list(APPEND properties RESOURCE_LOCK ${ARG_RESOURCE_LOCK})
  endif()
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    PROPERTIES ${properties}
    DISCOVERY_TIMEOUT 60)
endfunction()

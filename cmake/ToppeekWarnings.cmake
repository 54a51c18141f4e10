# Applies the project's warning set to a target.
function(toppeek_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(TOPPEEK_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
    # GCC 12's optimiser warns of overlapping copies inside std::string's own concatenation at
    # -O3 (GCC bug 105329): a false alarm in the library, not in our code. It stays a warning.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
      target_compile_options(${target} PRIVATE -Wno-error=restrict)
    endif()
  endif()
endfunction()

# Adds a static library for one source folder: every .cpp in it, warnings on,
# the folder's parent on the include path so that code includes "core/Text.h".
function(toppeek_library name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  toppeek_warnings(${name})
endfunction()

# Registers a GoogleTest program's tests with ctest under LABELS. The suites matched by the
# GoogleTest filter patterns in LONG (real servers, hostile servers, timeouts, kill trials) also
# get the label "long", which ./test.sh --quick leaves out; ENVIRONMENT is set for every test.
function(toppeek_discover_tests target)
  cmake_parse_arguments(ARG "" "" "LABELS;LONG;ENVIRONMENT" ${ARGN})
  include(GoogleTest)
  set(environment)
  if(ARG_ENVIRONMENT)
    set(environment ENVIRONMENT "${ARG_ENVIRONMENT}")
  endif()
  if(NOT ARG_LONG)
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60
                         PROPERTIES LABELS "${ARG_LABELS}" ${environment})
    return()
  endif()
  list(JOIN ARG_LONG ":" long)
  gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 TEST_FILTER "${long}"
                       TEST_LIST ${target}_long_tests
                       PROPERTIES LABELS "${ARG_LABELS}" ${environment})
  gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 TEST_FILTER "-${long}"
                       PROPERTIES LABELS "${ARG_LABELS}" ${environment})
  # A second label cannot pass through gtest_discover_tests' PROPERTIES, which splits lists, so
  # ctest adds it from the discovered list, after the discovered tests are read.
  set(labels "${ARG_LABELS};long")
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${target}_long_labels.cmake)
  file(WRITE ${script}
       "foreach(test IN LISTS ${target}_long_tests)\n"
       "  set_tests_properties(\"\${test}\" PROPERTIES LABELS \"${labels}\")\n"
       "endforeach()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${script})
endfunction()

# Adds a GoogleTest executable made of every .cpp in the current folder and registers its tests
# with ctest (see toppeek_discover_tests for LABELS and LONG).
function(toppeek_gtest name)
  cmake_parse_arguments(ARG "" "" "LIBS;LABELS;LONG" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  toppeek_warnings(${name})
  toppeek_discover_tests(${name} LABELS ${ARG_LABELS} LONG ${ARG_LONG})
endfunction()

# Adds a GoogleTest executable whose tests need a QApplication for the whole run (the progress
# dialog, the message boxes): SOURCES, or every .cpp in the current folder, and the shared main
# that makes the application on the offscreen platform when there is no display.
function(toppeek_qt_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS;LONG" ${ARGN})
  if(NOT ARG_SOURCES)
    file(GLOB ARG_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  endif()
  add_executable(${name} ${ARG_SOURCES}
                         ${PROJECT_SOURCE_DIR}/tests/support/main/QtApplicationMain.cpp)
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} toppeek_testsupport Qt6::Widgets GTest::gtest
                                        GTest::gmock)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  toppeek_warnings(${name})
  toppeek_discover_tests(${name} LABELS ${ARG_LABELS} LONG ${ARG_LONG}
                         ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endfunction()

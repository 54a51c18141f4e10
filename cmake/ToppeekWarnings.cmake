# Applies the project's warning set to a target.
function(toppeek_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(TOPPEEK_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
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

# Adds a GoogleTest executable made of every .cpp in the current folder and
# registers its tests with ctest.
function(toppeek_gtest name)
  cmake_parse_arguments(ARG "" "" "LIBS;LABELS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  toppeek_warnings(${name})
  include(GoogleTest)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${ARG_LABELS}")
endfunction()

# Adds a GoogleTest executable whose tests need a QApplication for the whole run (the progress
# dialog, the message boxes): SOURCES, or every .cpp in the current folder, and the shared main
# that makes the application on the offscreen platform when there is no display.
function(toppeek_qt_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
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
  include(GoogleTest)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
                       PROPERTIES LABELS "${ARG_LABELS}" ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endfunction()

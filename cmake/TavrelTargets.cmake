# One static library per folder of src/, one test executable per folder of tests/.
# Sources are collected by glob so that adding a file needs no edit here.

function(tavrel_library name dir)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS "${dir}/*.cpp")
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  else()
    # Headers only, so far.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE "${PROJECT_SOURCE_DIR}/src")
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

function(tavrel_test_suite name dir)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS "${dir}/*.cpp")
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_include_directories(${name} PRIVATE "${PROJECT_SOURCE_DIR}/tests")
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gmock GTest::gtest_main)
  # Labelled with their folder, so a build can run some folders' tests alone (ctest -L).
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300 LABELS "${dir}")
endfunction()

# A folder of views: one static QML module whose URI names it (Tavrel.Controls), holding the
# folder's .qml files, its C++ view models and its assets (.svg). Called from the folder's own
# CMakeLists.txt so that resource paths are the bare file names. Programs and tests link both the
# module and its plugin target (`<name>plugin`). `QML_DEPENDENCIES` names the QML modules whose
# types the module's C++ types build on (QtQuick for a painted item).
function(tavrel_qml_module name uri)
  cmake_parse_arguments(ARG "" "" "DEPS;SINGLETONS;QML_DEPENDENCIES" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS RELATIVE "${CMAKE_CURRENT_SOURCE_DIR}" "*.cpp" "*.h")
  file(GLOB qml_files CONFIGURE_DEPENDS RELATIVE "${CMAKE_CURRENT_SOURCE_DIR}" "*.qml")
  file(GLOB assets CONFIGURE_DEPENDS RELATIVE "${CMAKE_CURRENT_SOURCE_DIR}" "*.svg" "*.png")
  foreach(singleton IN LISTS ARG_SINGLETONS)
    set_source_files_properties(${singleton} PROPERTIES QT_QML_SINGLETON_TYPE TRUE)
  endforeach()
  string(REPLACE "." "/" uri_path "${uri}")
  qt_add_library(${name} STATIC)
  qt_add_qml_module(${name}
    URI ${uri}
    VERSION 1.0
    RESOURCE_PREFIX /qt/qml
    OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/qml/${uri_path}"
    QML_FILES ${qml_files}
    SOURCES ${sources}
    RESOURCES ${assets}
    DEPENDENCIES ${ARG_QML_DEPENDENCIES})
  target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} Qt6::Quick Qt6::Qml)
endfunction()

# A GoogleTest program whose cases need a Qt application object (view models, renderers): its main
# (tests/qt_support) runs offscreen with the software renderer, so no display and no GPU is needed.
function(tavrel_qt_test_suite name dir)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS "${dir}/*.cpp")
  list(FILTER sources EXCLUDE REGEX "/quick/")
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_include_directories(${name} PRIVATE "${PROJECT_SOURCE_DIR}/tests")
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} tavrel_qt_test_main GTest::gmock)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300 LABELS "${dir}")
endfunction()

# A Qt Quick Test program for the views of one folder: tests/<dir>/quick/ holds its tst_*.qml files
# and a main made with QUICK_TEST_MAIN_WITH_SETUP. Runs offscreen as one ctest case.
function(tavrel_quick_test name dir)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  set(quick_dir "${CMAKE_CURRENT_SOURCE_DIR}/${dir}/quick")
  file(GLOB sources CONFIGURE_DEPENDS "${quick_dir}/*.cpp")
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_include_directories(${name} PRIVATE "${PROJECT_SOURCE_DIR}/tests")
  target_compile_definitions(${name} PRIVATE QUICK_TEST_SOURCE_DIR="${quick_dir}")
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} tavrel_qt_test_support Qt6::QuickTest)
  add_test(NAME ${dir}.quick COMMAND ${name} -input "${quick_dir}")
  set_tests_properties(${dir}.quick PROPERTIES TIMEOUT 300)
endfunction()

# Compiler settings shared by every target of the project.

add_library(editor_options INTERFACE)
target_compile_options(editor_options INTERFACE -Wall -Wextra)
if(EDITOR_WERROR)
  target_compile_options(editor_options INTERFACE -Werror)
endif()

if(EDITOR_SANITIZE)
  # Any sanitizer report aborts the process, so a test that triggers one fails.
  set(_san -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_compile_options(editor_options INTERFACE ${_san})
  target_link_options(editor_options INTERFACE ${_san})
endif()

if(EDITOR_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "EDITOR_FUZZ needs clang (configure with CXX=clang++ CC=clang)")
  endif()
  # Instrument the libraries for coverage; only the fuzz programs link the
  # fuzzer main. Undefined behaviour aborts like a crash so the fuzzer keeps
  # the input instead of printing a report and going on.
  target_compile_options(editor_options INTERFACE -fsanitize=fuzzer-no-link,address,undefined
                         -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(editor_options INTERFACE -fsanitize=address,undefined -fno-sanitize-recover=undefined)
endif()

# editor_library(<name> [DEPS <libs...>]): the static library of one src/
# folder, made of every .cpp file in it.
function(editor_library name)
  cmake_parse_arguments(L "" "" "DEPS" ${ARGN})
  file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(${name} STATIC ${_sources})
  target_link_libraries(${name} PUBLIC editor_options ${L_DEPS})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
endfunction()

# editor_test(<name> LIBS <libs...>): the GoogleTest program of one tests/
# folder, made of every *_test.cpp file in it, registered with CTest. The
# matchers of GoogleMock are at every suite's hand.
function(editor_test name)
  cmake_parse_arguments(T "" "" "LIBS" ${ARGN})
  file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  if(NOT _sources)
    return()
  endif()
  add_executable(${name} ${_sources})
  target_link_libraries(${name} PRIVATE ${T_LIBS} editor_test_support GTest::gtest GTest::gmock GTest::gtest_main
                        editor_options)
  target_compile_definitions(${name} PRIVATE EDITOR_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                             EDITOR_DATA_DIR="${PROJECT_SOURCE_DIR}/data")
  include(GoogleTest)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

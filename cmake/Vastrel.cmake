# Helpers shared by every subsystem folder. Each folder lists its sources by glob so that
# adding a file never means editing a shared list.

# vastrel_library(NAME DIR [DEPS ...]): a static library of every .cpp in src/DIR.
function(vastrel_library name dir)
  file(GLOB_RECURSE _srcs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${dir}/*.cpp)
  if(_srcs)
    add_library(${name} STATIC ${_srcs})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    if(ARGN)
      target_link_libraries(${name} PUBLIC ${ARGN})
    endif()
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    if(ARGN)
      target_link_libraries(${name} INTERFACE ${ARGN})
    endif()
  endif()
endfunction()

# vastrel_tests(NAME DIR LABEL [LIBS ...]): one GoogleTest program of every .cpp in tests/DIR,
# its cases discovered by CTest and labelled LABEL.
function(vastrel_tests name dir label)
  file(GLOB_RECURSE _srcs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/${dir}/*.cpp)
  if(NOT _srcs)
    return()
  endif()
  add_executable(${name} ${_srcs})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest GTest::gtest_main)
  # GoogleTest's header is most of what a test file costs to compile: each program parses it once.
  # Not under a compiler cache, which would cache none of the files that use it.
  if(NOT CMAKE_CXX_COMPILER_LAUNCHER MATCHES "ccache")
    target_precompile_headers(${name} PRIVATE <gtest/gtest.h>)
  endif()
  target_compile_definitions(${name} PRIVATE
    VASTREL_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    VASTREL_BINARY_DIR="${CMAKE_BINARY_DIR}")
  # The sanitizer tree builds only what its unit run needs (the target unit_tests).
  if(label STREQUAL "unit")
    set_property(GLOBAL APPEND PROPERTY VASTREL_UNIT_TEST_PROGRAMS ${name})
  endif()
  # CTest starts the dearest tests first when it has no timings of its own yet (a clean tree), so
  # that the long runs of the program do not come last and leave the other cores idle.
  set(_cost 1)
  if(label STREQUAL "e2e")
    set(_cost 1000)
  elseif(label STREQUAL "gl")
    set(_cost 100)
  endif()
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    # A hung program ends its test instead of the whole run; the longest (the whole game played
    # twice) takes a few minutes on two cores.
    PROPERTIES LABELS ${label} TIMEOUT 900 COST ${_cost}
    DISCOVERY_TIMEOUT 60)
endfunction()

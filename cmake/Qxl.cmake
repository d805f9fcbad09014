# The project's root, wherever the project sits in a larger build.
get_filename_component(QXL_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)

# One static library per folder, made of every .cpp file in it. A folder
# without sources yet is an interface library, so that the layers above can
# already name it.
function(qxl_library name dir)
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${QXL_ROOT}/${dir}/*.cpp)
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${QXL_ROOT})
    target_link_libraries(${name} PUBLIC ${ARGN})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${QXL_ROOT})
    target_link_libraries(${name} INTERFACE ${ARGN})
  endif()
endfunction()

# One test executable per library, made of every .cpp file in tests/<dir>.
# The tests that SERIAL (a GoogleTest filter) names run alone: their worker
# processes must be seen to overlap, and other tests' load would let one
# worker finish before another is even scheduled.
function(qxl_tests name dir)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "SERIAL" "")
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${QXL_ROOT}/tests/${dir}/*.cpp)
  if(srcs)
    add_executable(${name} ${srcs})
    target_link_libraries(${name} PRIVATE ${arg_UNPARSED_ARGUMENTS} GTest::gtest GTest::gtest_main GTest::gmock)
    target_include_directories(${name} PRIVATE ${QXL_ROOT})
    # Tests that read data files of the source tree find them from here, not
    # from __FILE__, which a compiler cache may have made relative.
    target_compile_definitions(${name} PRIVATE QXL_SOURCE_ROOT="${QXL_ROOT}")
    # GCC 12 at -O3 reports overlapping copies inside std::string's operator+
    # with a temporary (a false positive of the compiler, not of the tests).
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
      target_compile_options(${name} PRIVATE -Wno-restrict)
    endif()
    set(environment ENVIRONMENT "QXL_TOOLS_DIR=${PROJECT_BINARY_DIR}/tools")
    if(arg_SERIAL)
      gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_FILTER "-${arg_SERIAL}" PROPERTIES ${environment})
      gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_FILTER "${arg_SERIAL}"
                           PROPERTIES ${environment} RUN_SERIAL TRUE)
    else()
      gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${environment})
    endif()
  endif()
endfunction()

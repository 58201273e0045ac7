# vocalith_add_test(NAME SOURCES src... LIBS lib... [LABELS label...] [TIMEOUT seconds])
# One GoogleTest executable, registered with CTest test by test.
# The label "tsan" marks tests that also run in the ThreadSanitizer build;
# the target tsan_tests builds just those, so that build compiles nothing else.
# TIMEOUT bounds each test (default 120 s), so a hang costs a minute or two:
# the slowest test (the resampler's long run) takes about 30 s in the
# sanitizer builds on two busy cores; suites of quick tests set 30 s.
function(vocalith_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
  # Test files are compiled in batches, one compiler run per batch: most of a
  # test file's compile time goes to parsing GoogleTest's and the standard
  # library's headers, which a batch parses once. So helpers local to a test
  # file need names that no other file of the same executable uses.
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests-bin
                                           UNITY_BUILD ON)
  # The code under test keeps the build's optimisation; the tests' own code
  # compiles unoptimised, in two fifths of -O3's time, and the tests ran as
  # fast. ThreadSanitizer's build keeps its -O1 for them: its checks slowed
  # the mixer's soak test threefold unoptimised. Tests are not shipped, so
  # they leave out the Release build's fortified functions, which need an
  # optimising compile.
  if(NOT VOCALITH_TSAN)
    target_compile_options(${name} PRIVATE -O0 -U_FORTIFY_SOURCE)
  endif()
  target_compile_definitions(${name} PRIVATE
    VOCALITH_TEST_DATA_DIR="${CMAKE_SOURCE_DIR}/tests/data"
    VOCALITH_BIN_DIR="${VOCALITH_BIN_DIR}")
  set(props TIMEOUT ${T_TIMEOUT})
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  if("tsan" IN_LIST T_LABELS)
    add_dependencies(tsan_tests ${name})
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES ${props})
endfunction()

# vocalith_add_fuzzer(NAME SOURCES src... LIBS lib...)
# The target fuzzers builds every one and nothing else.
function(vocalith_add_fuzzer name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src)
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz-bin)
  add_dependencies(fuzzers ${name})
endfunction()

# vocalith_add_bench(NAME SOURCES src... LIBS lib...)
function(vocalith_add_bench name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark benchmark::benchmark_main)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src)
  target_compile_definitions(${name} PRIVATE VOCALITH_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench-bin)
endfunction()

# vocalith_add_subfolders(): adds every subfolder of the current folder that
# has a CMakeLists.txt, in name order (tests/, bench/ and fuzz/ hold one
# subfolder per subsystem).
function(vocalith_add_subfolders)
  file(GLOB subdirs LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT subdirs)
  foreach(d ${subdirs})
    if(IS_DIRECTORY ${d} AND EXISTS ${d}/CMakeLists.txt)
      add_subdirectory(${d})
    endif()
  endforeach()
endfunction()

# Common settings for every Kesto target: warnings, sanitizers, thread checks.
set(KESTO_WARNING_FLAGS -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion
    -Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual -Wimplicit-fallthrough)
if(KESTO_WARNINGS_AS_ERRORS)
  list(APPEND KESTO_WARNING_FLAGS -Werror)
endif()

# Debug and sanitizer builds abort when a main-thread-only entry point is
# called from another thread (platform/ThreadCheck.h).
if(CMAKE_BUILD_TYPE STREQUAL "Debug" OR KESTO_SANITIZE)
  add_compile_definitions(KESTO_THREAD_CHECKS)
endif()

if(KESTO_SANITIZE)
  add_compile_options(-fsanitize=${KESTO_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${KESTO_SANITIZE})
endif()

# kesto_target(<name>): applies the project's warnings and include root.
function(kesto_target name)
  target_compile_options(${name} PRIVATE ${KESTO_WARNING_FLAGS})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
endfunction()

# kesto_test(<name> SOURCES ... LIBS ... [LABELS ...] [ENVIRONMENT VAR=value...]
#            [FIXTURES name...]): one GoogleTest executable; FIXTURES names the
# ctest fixtures (a database server) its tests need started first.
function(kesto_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS;ENVIRONMENT;FIXTURES" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  kesto_target(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS} kesto_testsupport GTest::gtest GTest::gmock GTest::gtest_main)
  # Empty properties are left out: an empty value would shift the pairs.
  set(properties "")
  if(T_LABELS)
    list(APPEND properties LABELS "${T_LABELS}")
  endif()
  if("concurrency" IN_LIST T_LABELS)
    set_property(GLOBAL APPEND PROPERTY KESTO_CONCURRENCY_TESTS ${name})
  endif()
  if(T_ENVIRONMENT)
    list(APPEND properties ENVIRONMENT "${T_ENVIRONMENT}")
  endif()
  if(T_FIXTURES)
    list(APPEND properties FIXTURES_REQUIRED "${T_FIXTURES}")
  endif()
  if(properties)
    gtest_discover_tests(${name} PROPERTIES ${properties} DISCOVERY_TIMEOUT 60)
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
  endif()
endfunction()

# Helpers that give every subsystem library, test and tool the same build settings.

add_library(torvane_build_settings INTERFACE)
target_include_directories(torvane_build_settings INTERFACE "${PROJECT_SOURCE_DIR}/src")
target_compile_options(torvane_build_settings INTERFACE -Wall -Wextra -Wpedantic -Wshadow=local
  -Wnon-virtual-dtor -Wno-unknown-pragmas)
if(TORVANE_WERROR)
  target_compile_options(torvane_build_settings INTERFACE -Werror)
endif()
if(TORVANE_SANITIZE)
  target_compile_options(torvane_build_settings INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(torvane_build_settings INTERFACE -fsanitize=address,undefined)
endif()
if(TORVANE_SANITIZE_THREAD)
  if(TORVANE_SANITIZE)
    message(FATAL_ERROR "ThreadSanitizer cannot be combined with AddressSanitizer")
  endif()
  target_compile_options(torvane_build_settings INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(torvane_build_settings INTERFACE -fsanitize=thread)
endif()
target_link_libraries(torvane_build_settings INTERFACE Threads::Threads)

# torvane_add_library(NAME [DEPS target...])
# Builds every .cpp file of the calling folder into the static library torvane_NAME.
function(torvane_add_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  add_library(torvane_${name} STATIC ${sources})
  target_link_libraries(torvane_${name} PUBLIC torvane_build_settings ${ARG_DEPS})
endfunction()

# torvane_add_test(NAME [DEPS target...])
# Builds every .cpp file of the calling folder into the GoogleTest executable test_NAME
# and registers its tests with CTest, run in a fixed non-UTC time zone without a display.
function(torvane_add_test name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  add_executable(test_${name} ${sources})
  target_link_libraries(test_${name} PRIVATE torvane_test_support ${ARG_DEPS} GTest::gmock GTest::gtest_main)
  include(GoogleTest)
  # intercept_tls_get_addr=0: this toolchain's leak checker now and then crashes at exit reading
  # the dynamic thread-local blocks it tracks; the blocks themselves are not needed to find leaks.
  gtest_discover_tests(test_${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "TZ=Europe/Berlin;QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:intercept_tls_get_addr=0;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
endfunction()

# Compile settings every target of the project links through velliport_common.
add_library(velliport_common INTERFACE)
target_compile_features(velliport_common INTERFACE cxx_std_20)
target_compile_options(velliport_common INTERFACE -Wall -Wextra -Wno-missing-field-initializers)
target_compile_definitions(velliport_common INTERFACE
    QT_NO_CAST_TO_ASCII
    QT_NO_URL_CAST_FROM_STRING
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_DISABLE_DEPRECATED_UP_TO=0x060400
    QT_USE_QSTRINGBUILDER)
target_include_directories(velliport_common INTERFACE ${PROJECT_SOURCE_DIR})

option(VELLIPORT_ASAN "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(VELLIPORT_ASAN)
    # Undefined behaviour stops the program, so that a test meeting it fails instead of
    # printing a line nobody reads.
    target_compile_options(velliport_common INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    # Executables of fixed address: in a position-independent one the loader patches
    # some 800,000 pointers of the sanitizers' tables at every start, which took half of
    # each start of the simulator's adb, and the tests start it thousands of times.
    target_link_options(velliport_common INTERFACE -fsanitize=address,undefined -no-pie)
endif()

# The libFuzzer targets of tests/fuzz, in a tree of their own configured with clang
# (scripts/fuzz.sh). Every object of the tree is instrumented for the fuzzer's coverage
# and the sanitizers; only the fuzz targets link the fuzzer's main.
option(VELLIPORT_FUZZ "Build only the libFuzzer targets (clang, a build tree of its own)" OFF)
if(VELLIPORT_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "VELLIPORT_FUZZ needs clang: configure with CC=clang CXX=clang++")
    endif()
    target_compile_options(velliport_common INTERFACE
        -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
    target_link_options(velliport_common INTERFACE -fsanitize=address,undefined)
endif()

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
    target_compile_options(velliport_common INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer)
    target_link_options(velliport_common INTERFACE -fsanitize=address,undefined)
endif()

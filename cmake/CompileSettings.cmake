# One place for the language level, warnings and sanitizer switches; every target links kolpex_settings.
add_library(kolpex_settings INTERFACE)
target_compile_features(kolpex_settings INTERFACE cxx_std_20)
target_compile_options(kolpex_settings INTERFACE -Wall -Wextra -Wpedantic)
target_compile_definitions(kolpex_settings INTERFACE QT_NO_KEYWORDS QT_NO_CAST_FROM_ASCII QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)

option(KOLPEX_WERROR "Treat warnings as errors" OFF)
if(KOLPEX_WERROR)
    target_compile_options(kolpex_settings INTERFACE -Werror)
endif()

option(KOLPEX_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(KOLPEX_SANITIZE)
    target_compile_options(kolpex_settings INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                                                     -fno-sanitize-recover=undefined)
    target_link_options(kolpex_settings INTERFACE -fsanitize=address,undefined)
endif()

if(KOLPEX_BUILD_FUZZ)
    # Instrument the libraries for coverage; the fuzz targets themselves add the fuzzer main.
    target_compile_options(kolpex_settings INTERFACE -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
    target_link_options(kolpex_settings INTERFACE -fsanitize=address,undefined)
endif()

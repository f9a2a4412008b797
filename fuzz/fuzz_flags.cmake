# Instrumentation for the libFuzzer build (PAIRTRACK_FUZZ): every library is compiled with the
# fuzzer's coverage hooks and with AddressSanitizer and UndefinedBehaviorSanitizer, so that a
# stray read, an overflow or an undefined conversion stops the fuzzer at the input that caused it.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "PAIRTRACK_FUZZ needs clang (libFuzzer): configure with "
                      "-DCMAKE_CXX_COMPILER=clang++")
endif()
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                    -fno-omit-frame-pointer -g)
add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)

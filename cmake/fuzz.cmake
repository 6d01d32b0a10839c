# libFuzzer targets (clang), each under AddressSanitizer and UBSan.
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -g)
add_library(tamsel_fakes STATIC tests/fake_platform.cpp)
target_link_libraries(tamsel_fakes PUBLIC tamsel_core)
foreach(target frame_fuzz record_writer_fuzz settings_file_fuzz launch_parameters_fuzz)
  # Linked whole: only the core asks for the sending.
  add_executable(${target} fuzz/${target}.cpp tests/fake_send.cpp)
  target_link_libraries(${target} PRIVATE tamsel_fakes)
  target_link_options(${target} PRIVATE -fsanitize=fuzzer,address,undefined)
endforeach()

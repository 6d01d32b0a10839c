# The modem-status shim of the end-to-end tests, one per word size that Wine
# runs programs in, where ld.so's $LIB finds it: preload/lib/<multiarch>/.
include(CheckCXXSourceCompiles)

function(add_pty_modem target multiarch)
  add_library(${target} SHARED e2e/pty_modem.cpp)
  target_compile_options(${target} PRIVATE ${ARGN})
  target_link_options(${target} PRIVATE ${ARGN})
  target_link_libraries(${target} PRIVATE ${CMAKE_DL_LIBS})
  set_target_properties(${target} PROPERTIES OUTPUT_NAME pty_modem
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/preload/lib/${multiarch})
endfunction()

add_pty_modem(pty_modem x86_64-linux-gnu)

set(CMAKE_REQUIRED_FLAGS -m32)
check_cxx_source_compiles("#include <sys/ioctl.h>\nint main() { return 0; }" TAMSEL_HAVE_M32)
unset(CMAKE_REQUIRED_FLAGS)
if(TAMSEL_HAVE_M32)
  add_pty_modem(pty_modem32 i386-linux-gnu -m32)
endif()

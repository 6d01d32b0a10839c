# The modem-status shim of the end-to-end tests, one per word size that Wine
# runs programs in, where ld.so's $LIB finds it: preload/lib/<multiarch>/.
include(CheckCXXSourceCompiles)

set(TAMSEL_PRELOAD_DIR ${CMAKE_BINARY_DIR}/preload)

add_library(pty_modem SHARED e2e/pty_modem.cpp)
target_link_libraries(pty_modem PRIVATE ${CMAKE_DL_LIBS})
set_target_properties(pty_modem PROPERTIES
  LIBRARY_OUTPUT_DIRECTORY ${TAMSEL_PRELOAD_DIR}/lib/x86_64-linux-gnu)

set(CMAKE_REQUIRED_FLAGS -m32)
check_cxx_source_compiles("#include <sys/ioctl.h>\nint main() { return 0; }" TAMSEL_HAVE_M32)
unset(CMAKE_REQUIRED_FLAGS)
if(TAMSEL_HAVE_M32)
  add_library(pty_modem32 SHARED e2e/pty_modem.cpp)
  target_compile_options(pty_modem32 PRIVATE -m32)
  target_link_options(pty_modem32 PRIVATE -m32)
  target_link_libraries(pty_modem32 PRIVATE ${CMAKE_DL_LIBS})
  set_target_properties(pty_modem32 PROPERTIES OUTPUT_NAME pty_modem
    LIBRARY_OUTPUT_DIRECTORY ${TAMSEL_PRELOAD_DIR}/lib/i386-linux-gnu)
endif()

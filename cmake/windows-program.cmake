# The Windows program: the portable core, its Win32 side and the resources.
enable_language(RC)

add_executable(Tamsel WIN32
  app/main_win32.cpp
  app/platform_win32.cpp
  app/program_icon_win32.cpp
  app/settings_file_win32.cpp
  link/base_link_win32.cpp
  link/receiver.cpp
  link/serial_port_win32.cpp
  link/reading_session_win32.cpp
  link/start_failure_win32.cpp
  output/count_flash_win32.cpp
  ui/accessible_names_win32.cpp
  ui/dialog_texts_win32.cpp
  ui/port_list_win32.cpp
  ui/properties_dialog_win32.cpp
  ui/stamp_panel_win32.cpp
  resources/tamsel.rc
)
target_link_libraries(Tamsel PRIVATE tamsel_core user32 gdi32 comdlg32 advapi32 setupapi ole32)
set_target_properties(Tamsel PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
if(MSVC)
  # The resource script embeds the manifest itself.
  target_link_options(Tamsel PRIVATE /MANIFEST:NO)
endif()
if(MINGW)
  # One self-contained executable: no MinGW runtime DLLs to carry beside it.
  # No link time in the PE header, so that the same sources give the same bytes.
  target_link_options(Tamsel PRIVATE -static -static-libgcc -static-libstdc++
                      -Wl,--no-insert-timestamp)
endif()

# The test driver that finds and drives the program's windows under Wine.
if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/e2e/driver.cpp)
  add_executable(e2e_driver e2e/driver.cpp)
  target_link_libraries(e2e_driver PRIVATE user32 gdi32 oleacc ole32 oleaut32 uuid)
  set_target_properties(e2e_driver PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  if(MINGW)
    target_link_options(e2e_driver PRIVATE -static -static-libgcc -static-libstdc++)
  endif()
endif()

# The resource compiler's own includes go unseen by the build: a new icon or
# manifest must rebuild the resources.
set_source_files_properties(resources/tamsel.rc PROPERTIES OBJECT_DEPENDS
  "${CMAKE_CURRENT_SOURCE_DIR}/resources/tamsel.ico;${CMAKE_CURRENT_SOURCE_DIR}/resources/tamsel.manifest")

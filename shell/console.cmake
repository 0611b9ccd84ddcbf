# Console front end (no Qt): options, escaping and the console loop over MonitorCore, and the
# RtMidi service the program runs on.
add_library(tessaly_console STATIC
  ${CMAKE_CURRENT_LIST_DIR}/console_commands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/console_options.cpp
  ${CMAKE_CURRENT_LIST_DIR}/console_frontend.cpp
  ${CMAKE_CURRENT_LIST_DIR}/run_report.cpp
)
target_compile_definitions(tessaly_console PRIVATE TESSALY_VERSION="${PROJECT_VERSION}")
target_link_libraries(tessaly_console PUBLIC tessaly_display tessaly_rtmidi)

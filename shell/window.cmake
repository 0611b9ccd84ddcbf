# The Qt window: application, main dialog, about box, list views, copy and clear, icon.
find_package(Qt6 REQUIRED COMPONENTS Svg)

tessaly_front_end(tessaly_window
  window_main.cpp
  monitor_app.cpp
  monitor_dlg.cpp
  monitor_menu.cpp
  window_recording.cpp
  monitor_bindings.cpp
  about_dlg.cpp
  dialog_template.cpp
  dialog_units.cpp
  dialog_layout.cpp
  output_list_view.cpp
  line_display.cpp
  app_icon.cpp
)
set_target_properties(tessaly_window PROPERTIES AUTOMOC ON)
# The core names members `slots` and `signals`: keep Qt's keyword macros out of every file
# that sees both (Q_SIGNALS, Q_SLOTS and Q_EMIT instead).
target_compile_definitions(tessaly_window PUBLIC QT_NO_KEYWORDS)
target_link_libraries(tessaly_window PUBLIC tessaly_display Qt6::Widgets PRIVATE Qt6::Svg
  tessaly_save_lists)
qt_add_resources(tessaly_window tessaly_icon
  PREFIX /tessaly
  BASE ${CMAKE_CURRENT_LIST_DIR}/resources
  FILES ${CMAKE_CURRENT_LIST_DIR}/resources/tessaly.svg)

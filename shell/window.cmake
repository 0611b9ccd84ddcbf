# The Qt window: application, main dialog, about box, list views, copy and clear, icon.
find_package(Qt6 REQUIRED COMPONENTS Svg)

add_library(tessaly_window STATIC
  ${CMAKE_CURRENT_LIST_DIR}/window_main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/monitor_app.cpp
  ${CMAKE_CURRENT_LIST_DIR}/monitor_dlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/monitor_menu.cpp
  ${CMAKE_CURRENT_LIST_DIR}/window_recording.cpp
  ${CMAKE_CURRENT_LIST_DIR}/monitor_bindings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/about_dlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dialog_template.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dialog_units.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dialog_layout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/output_list_view.cpp
  ${CMAKE_CURRENT_LIST_DIR}/line_display.cpp
  ${CMAKE_CURRENT_LIST_DIR}/app_icon.cpp
)
set_target_properties(tessaly_window PROPERTIES AUTOMOC ON)
# The core names members `slots` and `signals`: keep Qt's keyword macros out of every file
# that sees both (Q_SIGNALS, Q_SLOTS and Q_EMIT instead).
target_compile_definitions(tessaly_window PUBLIC QT_NO_KEYWORDS)
target_include_directories(tessaly_window PRIVATE ${CMAKE_BINARY_DIR}/generated)
target_link_libraries(tessaly_window PUBLIC tessaly_display Qt6::Widgets PRIVATE Qt6::Svg
  tessaly_save_lists)
qt_add_resources(tessaly_window tessaly_icon
  PREFIX /tessaly
  BASE ${CMAKE_CURRENT_LIST_DIR}/resources
  FILES ${CMAKE_CURRENT_LIST_DIR}/resources/tessaly.svg)

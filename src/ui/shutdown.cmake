# Timed shutdown: the settings dialog (Form9) and the countdown confirmation (Form2).
target_sources(lingchao_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/shutdown_settings_dialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/shutdown_confirm.cpp)

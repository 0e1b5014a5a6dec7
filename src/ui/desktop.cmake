# Desktop presence: splash, floating clock and its menu, hotkeys, start-up and quitting.
target_sources(lingchao_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/rejian.cpp
    ${CMAKE_CURRENT_LIST_DIR}/clock_window.cpp
    ${CMAKE_CURRENT_LIST_DIR}/clock_menu.cpp
    ${CMAKE_CURRENT_LIST_DIR}/splash.cpp
    ${CMAKE_CURRENT_LIST_DIR}/desktop_shell.cpp)

# Desktop pieces: single-instance guard, X11 hotkeys and window hints, CD door.
find_package(PkgConfig REQUIRED)
pkg_check_modules(LINGCHAO_XCB REQUIRED IMPORTED_TARGET xcb xcb-keysyms)
target_sources(lingchao_platform PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/instance_guard.cpp
    ${CMAKE_CURRENT_LIST_DIR}/media_control.cpp
    ${CMAKE_CURRENT_LIST_DIR}/global_hotkeys.cpp
    ${CMAKE_CURRENT_LIST_DIR}/window_hints.cpp)
target_link_libraries(lingchao_platform PUBLIC Qt6::Gui Qt6::Widgets PRIVATE PkgConfig::LINGCHAO_XCB)

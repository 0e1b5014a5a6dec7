# The session the program starts in: X11, Wayland with or without XWayland, or none.
target_sources(lingchao_platform PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/display_session.cpp)

# The music-list editor window (Form5) over the player's music-list logic.
target_sources(lingchao_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/music_list_window.cpp
    ${CMAKE_CURRENT_LIST_DIR}/music_list_window.h)
target_link_libraries(lingchao_ui PUBLIC lingchao_player)

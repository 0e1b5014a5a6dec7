# The player on the session bus (MPRIS), for desktop panels, media keys and remotes.
target_sources(lingchao_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/mpris.cpp)
target_link_libraries(lingchao_platform PUBLIC Qt6::DBus)

# Whether the system clock is synchronised: adjtimex(), and systemd-timedated over the system D-Bus.
target_sources(lingchao_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/clock_sync.cpp)
target_link_libraries(lingchao_platform PUBLIC Qt6::DBus)

target_sources(vorrindel_app PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/AppDelegate.h
    ${CMAKE_CURRENT_LIST_DIR}/AppDelegate.cpp
)

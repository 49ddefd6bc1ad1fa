target_sources(vorrindel_platform PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/UrlOpener.h
    ${CMAKE_CURRENT_LIST_DIR}/UrlOpener.cpp
    ${CMAKE_CURRENT_LIST_DIR}/X11Display.h
    ${CMAKE_CURRENT_LIST_DIR}/X11Display.cpp
)

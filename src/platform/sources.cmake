target_sources(vorrindel_platform PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/UrlOpener.h
    ${CMAKE_CURRENT_LIST_DIR}/UrlOpener.cpp
    ${CMAKE_CURRENT_LIST_DIR}/X11Display.h
    ${CMAKE_CURRENT_LIST_DIR}/X11Display.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CanberraAlertSound.h
    ${CMAKE_CURRENT_LIST_DIR}/CanberraAlertSound.cpp
    ${CMAKE_CURRENT_LIST_DIR}/LogindWakeNotifier.h
    ${CMAKE_CURRENT_LIST_DIR}/LogindWakeNotifier.cpp
)

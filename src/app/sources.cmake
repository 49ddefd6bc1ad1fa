target_sources(vorrindel_app PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/AppDelegate.h
    ${CMAKE_CURRENT_LIST_DIR}/AppDelegate.cpp
    ${CMAKE_CURRENT_LIST_DIR}/AppServices.h
    ${CMAKE_CURRENT_LIST_DIR}/DefaultAppServices.h
    ${CMAKE_CURRENT_LIST_DIR}/DefaultAppServices.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MenuBarMenu.h
    ${CMAKE_CURRENT_LIST_DIR}/MenuBarMenu.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SingleInstance.h
    ${CMAKE_CURRENT_LIST_DIR}/SingleInstance.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TrayIcon.h
    ${CMAKE_CURRENT_LIST_DIR}/TrayIcon.cpp
    ${CMAKE_CURRENT_LIST_DIR}/UrlRouter.h
    ${CMAKE_CURRENT_LIST_DIR}/UrlRouter.cpp
)

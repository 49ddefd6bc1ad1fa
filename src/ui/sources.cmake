target_sources(vorrindel_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/controls/Motion.h
    ${CMAKE_CURRENT_LIST_DIR}/controls/Motion.cpp
    ${CMAKE_CURRENT_LIST_DIR}/notch/NotchGeometry.h
    ${CMAKE_CURRENT_LIST_DIR}/notch/NotchGeometry.cpp
    ${CMAKE_CURRENT_LIST_DIR}/notch/NotchShape.h
    ${CMAKE_CURRENT_LIST_DIR}/notch/NotchShape.cpp
    ${CMAKE_CURRENT_LIST_DIR}/notch/NotchState.h
    ${CMAKE_CURRENT_LIST_DIR}/notch/NotchState.cpp
    ${CMAKE_CURRENT_LIST_DIR}/notch/NotchPanel.h
    ${CMAKE_CURRENT_LIST_DIR}/notch/NotchPanel.cpp
    ${CMAKE_CURRENT_LIST_DIR}/notch/NotchController.h
    ${CMAKE_CURRENT_LIST_DIR}/notch/NotchController.cpp
    ${CMAKE_CURRENT_LIST_DIR}/panel/NotchRootView.h
    ${CMAKE_CURRENT_LIST_DIR}/panel/NotchRootView.cpp
    ${CMAKE_CURRENT_LIST_DIR}/settings/SettingsOpener.h
    ${CMAKE_CURRENT_LIST_DIR}/settings/SettingsOpener.cpp
)

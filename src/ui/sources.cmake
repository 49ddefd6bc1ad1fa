target_sources(vorrindel_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/controls/Motion.h
    ${CMAKE_CURRENT_LIST_DIR}/controls/Motion.cpp
    ${CMAKE_CURRENT_LIST_DIR}/notch/NotchGeometry.h
    ${CMAKE_CURRENT_LIST_DIR}/notch/NotchGeometry.cpp
    ${CMAKE_CURRENT_LIST_DIR}/notch/NotchShape.h
    ${CMAKE_CURRENT_LIST_DIR}/notch/NotchShape.cpp
    ${CMAKE_CURRENT_LIST_DIR}/notch/NotchState.h
    ${CMAKE_CURRENT_LIST_DIR}/notch/NotchState.cpp
    ${CMAKE_CURRENT_LIST_DIR}/settings/SettingsOpener.h
    ${CMAKE_CURRENT_LIST_DIR}/settings/SettingsOpener.cpp
)

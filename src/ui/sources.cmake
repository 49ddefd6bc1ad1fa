target_sources(vorrindel_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/controls/Motion.h
    ${CMAKE_CURRENT_LIST_DIR}/controls/Motion.cpp
    ${CMAKE_CURRENT_LIST_DIR}/controls/Symbol.h
    ${CMAKE_CURRENT_LIST_DIR}/controls/Symbol.cpp
    ${CMAKE_CURRENT_LIST_DIR}/controls/Theme.h
    ${CMAKE_CURRENT_LIST_DIR}/controls/Theme.cpp
    ${CMAKE_CURRENT_LIST_DIR}/notch/NotchGeometry.h
    ${CMAKE_CURRENT_LIST_DIR}/notch/NotchGeometry.cpp
    ${CMAKE_CURRENT_LIST_DIR}/settings/SettingsOpener.h
    ${CMAKE_CURRENT_LIST_DIR}/settings/SettingsOpener.cpp
)

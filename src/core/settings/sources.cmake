# Sources of core/settings
target_sources(vorrindel_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/AppSettings.h
    ${CMAKE_CURRENT_LIST_DIR}/AppSettings.cpp
    ${CMAKE_CURRENT_LIST_DIR}/GoogleConfigFile.h
    ${CMAKE_CURRENT_LIST_DIR}/GoogleConfigFile.cpp
    ${CMAKE_CURRENT_LIST_DIR}/JsonSettingsFormat.h
    ${CMAKE_CURRENT_LIST_DIR}/JsonSettingsFormat.cpp
    ${CMAKE_CURRENT_LIST_DIR}/LaunchAtLogin.h
    ${CMAKE_CURRENT_LIST_DIR}/LaunchAtLogin.cpp
    ${CMAKE_CURRENT_LIST_DIR}/LegacyMigration.h
    ${CMAKE_CURRENT_LIST_DIR}/LegacyMigration.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SettingsLocations.h
    ${CMAKE_CURRENT_LIST_DIR}/SettingsLocations.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TokenFile.h
    ${CMAKE_CURRENT_LIST_DIR}/TokenFile.cpp
)

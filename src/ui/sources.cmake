target_sources(vorrindel_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/controls/GoogleCalendarMark.h
    ${CMAKE_CURRENT_LIST_DIR}/controls/GoogleCalendarMark.cpp
    ${CMAKE_CURRENT_LIST_DIR}/controls/Motion.h
    ${CMAKE_CURRENT_LIST_DIR}/controls/Motion.cpp
    ${CMAKE_CURRENT_LIST_DIR}/notch/NotchGeometry.h
    ${CMAKE_CURRENT_LIST_DIR}/notch/NotchGeometry.cpp
    ${CMAKE_CURRENT_LIST_DIR}/settings/CalendarSettings.h
    ${CMAKE_CURRENT_LIST_DIR}/settings/CalendarSettings.cpp
    ${CMAKE_CURRENT_LIST_DIR}/settings/GeneralSettings.h
    ${CMAKE_CURRENT_LIST_DIR}/settings/GeneralSettings.cpp
    ${CMAKE_CURRENT_LIST_DIR}/settings/GoogleSettings.h
    ${CMAKE_CURRENT_LIST_DIR}/settings/GoogleSettings.cpp
    ${CMAKE_CURRENT_LIST_DIR}/settings/NotionSettings.h
    ${CMAKE_CURRENT_LIST_DIR}/settings/NotionSettings.cpp
    ${CMAKE_CURRENT_LIST_DIR}/settings/SettingsContext.h
    ${CMAKE_CURRENT_LIST_DIR}/settings/SettingsForm.h
    ${CMAKE_CURRENT_LIST_DIR}/settings/SettingsForm.cpp
    ${CMAKE_CURRENT_LIST_DIR}/settings/SettingsOpener.h
    ${CMAKE_CURRENT_LIST_DIR}/settings/SettingsOpener.cpp
    ${CMAKE_CURRENT_LIST_DIR}/settings/SettingsView.h
    ${CMAKE_CURRENT_LIST_DIR}/settings/SettingsView.cpp
)

# The app's own artwork and the settings window's symbols, under ":/vorrindel/".
qt_add_resources(vorrindel_ui "vorrindel_ui_resources" PREFIX "/vorrindel" BASE ui/resources FILES
    ui/resources/google-calendar.svg
    ui/resources/symbols/arrow-right-circle.svg
    ui/resources/symbols/calendar.svg
    ui/resources/symbols/calendar-warning.svg
    ui/resources/symbols/doc-text.svg
    ui/resources/symbols/gearshape.svg
    ui/resources/symbols/globe.svg
    ui/resources/symbols/warning.svg
)

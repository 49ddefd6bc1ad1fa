target_sources(vorrindel_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/StoreTimer.h
    ${CMAKE_CURRENT_LIST_DIR}/StoreTimer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/AlertSound.h
    ${CMAKE_CURRENT_LIST_DIR}/WakeNotifier.h
)

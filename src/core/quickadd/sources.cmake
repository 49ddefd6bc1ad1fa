# Sources of core/quickadd
target_sources(vorrindel_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/QuickAddDraft.h
)

# Compiles the updater's translations into <build>/src/translations, where the program loads them.
file(GLOB UPDATE_TS_FILES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/translations/*.ts)
if(UPDATE_TS_FILES)
  set_source_files_properties(${UPDATE_TS_FILES} PROPERTIES
    OUTPUT_LOCATION ${CMAKE_CURRENT_BINARY_DIR}/translations)
  qt5_add_translation(UPDATE_QM_FILES ${UPDATE_TS_FILES})
  add_custom_target(update_translations ALL DEPENDS ${UPDATE_QM_FILES})
  add_dependencies(updatecore update_translations)
endif()

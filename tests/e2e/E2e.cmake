# The window program end to end, under Xvfb with Mesa's software OpenGL.
# The script fails when xvfb-run, xdotool or ImageMagick is missing.

if(TARGET quillmoth)
  set(QM_E2E_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/window_e2e.sh)
  add_test(NAME e2e.WindowShowsTheSceneAndQuitsOnEscape
           COMMAND bash ${QM_E2E_SCRIPT} scene $<TARGET_FILE:quillmoth> ${PROJECT_SOURCE_DIR}/data)
  add_test(NAME e2e.WindowWithoutAGeneLogsTheCompileErrorAndFails
           COMMAND bash ${QM_E2E_SCRIPT} no-gene $<TARGET_FILE:quillmoth> ${PROJECT_SOURCE_DIR}/data)
  set_tests_properties(e2e.WindowShowsTheSceneAndQuitsOnEscape e2e.WindowWithoutAGeneLogsTheCompileErrorAndFails
                       PROPERTIES TIMEOUT 180 LABELS e2e
                                  # xvfb-run -a takes the first display without a lock file;
                                  # two started at once can take the same one.
                                  RESOURCE_LOCK xvfb)
endif()

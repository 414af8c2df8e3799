# The window program end to end, under Xvfb with Mesa's software OpenGL.
# The script fails when xvfb-run, xdotool or ImageMagick is missing.

if(TARGET quillmoth)
  set(QM_E2E_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/window_e2e.sh)
  add_test(NAME e2e.WindowShowsTheSceneAndQuitsOnEscape
           COMMAND bash ${QM_E2E_SCRIPT} scene $<TARGET_FILE:quillmoth> ${PROJECT_SOURCE_DIR}/data)
  add_test(NAME e2e.WindowWithoutAGeneLogsTheCompileErrorAndFails
           COMMAND bash ${QM_E2E_SCRIPT} no-gene $<TARGET_FILE:quillmoth> ${PROJECT_SOURCE_DIR}/data)
  add_test(NAME e2e.WindowWithoutADisplayFailsAndSaysWhy
           COMMAND bash ${QM_E2E_SCRIPT} no-display $<TARGET_FILE:quillmoth> ${PROJECT_SOURCE_DIR}/data)
  add_test(NAME e2e.FrameBenchmarkPrintsOneJsonLine
           COMMAND bash ${QM_E2E_SCRIPT} bench $<TARGET_FILE:quillmoth> ${PROJECT_SOURCE_DIR}/data)
  # The reference pictures were taken with the nodes, shadows and links drawn
  # one call each; the scene must look the same however it is drawn.
  add_test(NAME e2e.ScreenshotsMatchTheReferencePictures
           COMMAND bash ${QM_E2E_SCRIPT} compare $<TARGET_FILE:quillmoth> ${PROJECT_SOURCE_DIR}/data
                   ${CMAKE_CURRENT_LIST_DIR}/reference)
  # Replays of quillmoth-sim's traces: videos, the replay window, P.
  set(QM_REPLAY_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/replay_e2e.sh)
  foreach(mode_test IN ITEMS "video;ReplayVideosHoldOneFramePerRecordedStep"
                             "no-ffmpeg;VideoWithoutFfmpegExitsTwoBeforeAnyWindow"
                             "window;ReplayWindowSavesAPngOnP"
                             "resume;WindowResumedFromACheckpointEndsAsTheStraightRun"
                             "goal;TheGoalMarkerStandsOverTheRunsGoal"
                             "outputs;WindowOutputsAreCheckedAndNamedByTheirFullPaths")
    list(GET mode_test 0 mode)
    list(GET mode_test 1 name)
    add_test(NAME e2e.${name}
             COMMAND bash ${QM_REPLAY_SCRIPT} ${mode} $<TARGET_FILE:quillmoth> $<TARGET_FILE:quillmoth-sim>
                     ${PROJECT_SOURCE_DIR}/data)
    set_tests_properties(e2e.${name} PROPERTIES TIMEOUT 180 LABELS e2e RESOURCE_LOCK xvfb)
  endforeach()

  set_tests_properties(e2e.WindowShowsTheSceneAndQuitsOnEscape e2e.WindowWithoutAGeneLogsTheCompileErrorAndFails
                       e2e.WindowWithoutADisplayFailsAndSaysWhy e2e.FrameBenchmarkPrintsOneJsonLine
                       e2e.ScreenshotsMatchTheReferencePictures
                       PROPERTIES TIMEOUT 180 LABELS e2e
                                  # xvfb-run -a takes the first display without a lock file;
                                  # two started at once can take the same one.
                                  RESOURCE_LOCK xvfb)
endif()

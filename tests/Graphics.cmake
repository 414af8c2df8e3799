# Tests of the platform layer, the scene and the shell: unit tests that need no
# display (math, meshes, recording-device drawing, frame logic), and the
# end-to-end tests that run the window under Xvfb with Mesa's software OpenGL.

file(GLOB QM_GRAPHICS_TEST_SOURCES CONFIGURE_DEPENDS
     platform/*.cpp render/*.cpp shell-gfx/*.cpp)
# The engine tests' helpers for building worlds by hand, temporary files and
# catching debug output.
list(APPEND QM_GRAPHICS_TEST_SOURCES support/WorldFixture.cpp support/TestFiles.cpp
     support/DebugCapture.cpp)
add_executable(quillmoth_graphics_tests ${QM_GRAPHICS_TEST_SOURCES})
target_include_directories(quillmoth_graphics_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
if(TARGET quillmoth_graphics)
  target_link_libraries(quillmoth_graphics_tests PRIVATE quillmoth_graphics)
endif()
target_link_libraries(quillmoth_graphics_tests PRIVATE quillmoth_engine GTest::gtest GTest::gtest_main)
gtest_discover_tests(quillmoth_graphics_tests WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} DISCOVERY_TIMEOUT 60
                     PROPERTIES ENVIRONMENT "QM_DATA=${PROJECT_SOURCE_DIR}/data")

include(${CMAKE_CURRENT_SOURCE_DIR}/e2e/E2e.cmake OPTIONAL)

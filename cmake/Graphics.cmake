# The windowed program: the SDL2 window and input, the OpenGL device, the
# scene, the font and the process entry. Included by the root CMakeLists when
# QM_GRAPHICS is on. The engine library stays free of every library named here.

find_package(SDL2 REQUIRED CONFIG)
find_package(SDL2_ttf REQUIRED CONFIG)
find_package(assimp REQUIRED CONFIG)
find_package(OpenGL REQUIRED COMPONENTS OpenGL)
find_package(PkgConfig REQUIRED)
pkg_check_modules(QM_FONTCONFIG REQUIRED IMPORTED_TARGET fontconfig)

# Everything under platform/, render/ and shell/ that is not already part of
# the engine (the pure math and mesh code, the diagnostics and text lines).
file(GLOB QM_GRAPHICS_SOURCES CONFIGURE_DEPENDS
     src/platform/*.cpp src/render/*.cpp src/shell/*.cpp)
list(FILTER QM_GRAPHICS_SOURCES EXCLUDE REGEX
     "/src/(platform/(D3dxMath|MeshBuilder)|shell/(Diagnostics|TextLines|main))\\.cpp$")

if(QM_GRAPHICS_SOURCES)
  add_library(quillmoth_graphics STATIC ${QM_GRAPHICS_SOURCES})
  target_link_libraries(quillmoth_graphics
      PUBLIC quillmoth_engine SDL2::SDL2
      PRIVATE SDL2_ttf::SDL2_ttf assimp::assimp OpenGL::GL PkgConfig::QM_FONTCONFIG)
endif()

if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/src/shell/main.cpp)
  add_executable(quillmoth src/shell/main.cpp)
  target_link_libraries(quillmoth PRIVATE quillmoth_graphics SDL2::SDL2)
  set_target_properties(quillmoth PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
endif()

# The generator of the art files in data/ (run by hand; its output is committed).
add_executable(quillmoth-artgen tools/artgen/ArtGen.cpp)
target_link_libraries(quillmoth-artgen PRIVATE qm_flags)
set_target_properties(quillmoth-artgen PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

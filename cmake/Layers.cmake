# Folders are layers: each folder of src/ is one static library, qm_<folder>,
# that links only the layers below it.
#
# Headers are included by folder ("world/NodeManager.h"). A layer exports an
# include root that holds its own folder alone (a link in the build tree), so a
# target sees exactly the folders of the layers it links: an engine file that
# includes "render/..." or "shell/..." does not build.
#
# The engine layers also see cmake/no-graphics first: its stand-ins for the
# headers of SDL2, OpenGL and assimp stop the build with an #error, since those
# would otherwise be found in the system's include folders.

function(qm_add_layer name)
  cmake_parse_arguments(LAYER "ENGINE" "" "SOURCES;DEPENDS;PRIVATE_DEPENDS" ${ARGN})
  add_library(qm_${name} STATIC ${LAYER_SOURCES})
  set(root ${PROJECT_BINARY_DIR}/layers/${name})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${name} SYMBOLIC)
  target_include_directories(qm_${name} PUBLIC ${root})
  target_link_libraries(qm_${name} PUBLIC qm_flags ${LAYER_DEPENDS} PRIVATE ${LAYER_PRIVATE_DEPENDS})
  if(LAYER_ENGINE)
    target_include_directories(qm_${name} BEFORE PRIVATE ${PROJECT_SOURCE_DIR}/cmake/no-graphics)
  endif()
endfunction()

#error "The engine links no graphics library: assimp/scene.h belongs to src/platform."

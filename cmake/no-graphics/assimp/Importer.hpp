#error "The engine links no graphics library: assimp/Importer.hpp belongs to src/platform."

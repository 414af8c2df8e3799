#error "The engine links no graphics library: GL/glext.h belongs to src/platform."

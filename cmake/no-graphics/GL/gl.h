#error "The engine links no graphics library: GL/gl.h belongs to src/platform."

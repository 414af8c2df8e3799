#error "The engine links no graphics library: GL/glu.h belongs to src/platform."

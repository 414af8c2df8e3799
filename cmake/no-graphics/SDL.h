#error "The engine links no graphics library: SDL.h belongs to src/platform."

#error "The engine links no graphics library: SDL2/SDL.h belongs to src/platform."

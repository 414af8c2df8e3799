#error "The engine links no graphics library: SDL_ttf.h belongs to src/platform."

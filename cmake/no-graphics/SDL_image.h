#error "The engine links no graphics library: SDL_image.h belongs to src/platform."

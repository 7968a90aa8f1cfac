// The Windows build has no stb library to link: the image decoder and the
// resampler are compiled into the program here, from the same headers the
// other builds use through the library.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image.h>
#include <stb_image_resize.h>
#include <stb_image_write.h>

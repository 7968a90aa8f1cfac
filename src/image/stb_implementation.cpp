// The image decoder, the resampler and the image writer, compiled into the
// program from Debian's headers rather than linked from its library, so that
// their memory comes zero-filled: the decoders' version reads parts of its
// blocks that a damaged file never wrote (the Huffman tables of a JPEG that
// defines none, for one), which would otherwise give indices into anything,
// or pixels that differ from run to run.
#include <cstdlib>

#define STBI_MALLOC(size) std::calloc(1, size)
#define STBI_REALLOC(block, size) std::realloc(block, size)
#define STBI_FREE(block) std::free(block)
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image.h>
#include <stb_image_resize.h>
#include <stb_image_write.h>

#pragma once

#include <cstddef>

struct Texture;

// Told by the geometry reader as it goes, so that a later stage can start on
// what is already complete while the rest of the file is read.
class ReadWatcher {
public:
    virtual ~ReadWatcher() = default;

    // The image of texture load `load` is decoded, and this is the texture
    // it makes as it would enter the table. Whether it does depends on what
    // the reading settles later (an earlier texture with the same pixels is
    // shared instead, and a later reference may change its name words), so
    // what is made from it must be checked against the table when used.
    // Called on the thread that loaded the image, which may not be the
    // reader's; calls may overlap.
    virtual void texture_loaded(size_t load, Texture texture) = 0;

    // Texture `index` of the table was made by load `load`. On the reader's
    // thread, once its image is settled.
    virtual void texture_added(size_t index, size_t load) = 0;
};

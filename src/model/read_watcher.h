#pragma once

struct Model;

// Told by the geometry reader as it goes, so that a later stage can start on
// what is already complete while the rest of the file is read.
class ReadWatcher {
public:
    virtual ~ReadWatcher() = default;

    // A material library has been read: the textures it added are loaded.
    // A later library may still change them (the name words of a texture's
    // latest reference decide), so what starts early must check its input
    // again when it is used.
    virtual void library_read(const Model& model) = 0;
};

#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_set>
#include <vector>

#include "model/model.h"
#include "model/read_watcher.h"
#include "texture/texel_encoders.h"

struct Context;

// A texture's converted texel block (with its own palette appended), or
// what stopped its conversion.
struct ConvertedTexture {
    std::vector<uint8_t> block;
    std::exception_ptr error;
};

// Textures converted while the geometry file is still being read, on the
// thread that loaded their images. The emission takes a conversion only for
// a texture that is still exactly what was converted, and converts the
// others itself. A texture that shares a palette is never converted ahead:
// its palette is built from all the textures of its slot once the reading
// is done.
class TexturesAhead final : public ReadWatcher {
public:
    explicit TexturesAhead(Context& ctx);

    void texture_loaded(size_t load, Texture texture) override;
    void texture_added(size_t index, size_t load) override;

    // Once the reading is done: the conversion of texture `index` when it
    // was made from exactly `texture` as it is now; `texture` then becomes
    // what the conversion left of it. Each conversion is taken at most once.
    std::optional<ConvertedTexture> take(size_t index, Texture& texture);

private:
    struct Job {
        Texture input;      // as the load made it
        Texture converted;  // as the conversion left it
        ConvertedTexture result;
    };

    Context& ctx_;
    std::mutex mutex_;
    std::vector<std::unique_ptr<Job>> job_of_load_;      // null where none
    std::vector<std::unique_ptr<TextureScratch>> spare_;  // scratch not in use
    std::unordered_set<uint64_t> converted_keys_;         // of the pixels converted
    std::vector<size_t> load_of_texture_;                 // reader's thread only
};

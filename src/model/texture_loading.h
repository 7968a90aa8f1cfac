#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "image/image.h"

struct Context;
struct Model;
class ReadWatcher;

// A texture reference of a material library as far as the reference itself
// tells it; what depends on the named image's pixels (the material's texture
// and texture size, the texture table) is settled once the image is loaded.
struct TextureReference {
    size_t material = 0;        // in model.material_table
    std::string used_path;      // the bank image's path, or the reference
    std::optional<Image> bank;  // a bank image, loaded and reduced at the reference
    uint32_t force_address = 0xFFFFFFFF;
    uint32_t bank_address = 0xFFFFFFFF;
    std::optional<size_t> palette_marker;  // where "QXPAL" stands in used_path
};

// The named images of texture references, loaded on a second thread while
// the reading goes on, and the references waiting for them.
//
// settle() then takes the references in the order they were added: each
// image's warnings are shown and its error raised at its turn, and the
// references change the model exactly as if every image had been loaded at
// its reference. The images are only decoded, fitted and unpacked early; so
// long as nothing else shows a message while the references wait, the
// conversion shows the same messages in the same order and ends with the
// same error. Without a second core (or a thread to run on), or when asked
// for no thread, each image is loaded at its turn in settle().
class TextureLoading {
public:
    // `watcher`, when given, hears of every texture made by a load on the
    // second thread, and of its place in the table.
    TextureLoading(Context& ctx, ReadWatcher* watcher, bool in_background);
    ~TextureLoading();
    TextureLoading(const TextureLoading&) = delete;
    TextureLoading& operator=(const TextureLoading&) = delete;

    // Starts loading the named image at `open_path` (`shown_path` in its
    // messages) for `reference`, to be settled later.
    void add(TextureReference reference, const std::string& open_path, const std::string& shown_path);

    // Settles every reference added so far, in order.
    void settle(Model& model);

    // Runs `read`, which may add references, then settles them. When `read`
    // stops with an error, the references it added before are settled
    // first, so that an image that failed earlier is the error that stops.
    template <typename Read>
    void settle_after(Model& model, Read&& read)
    {
        try {
            read();
        } catch (...) {
            settle(model);
            throw;
        }
        settle(model);
    }

private:
    struct Load;
    void work();
    void run(Load& load);
    std::unique_ptr<Load> take_load(size_t index);

    Context& ctx_;
    ReadWatcher* watcher_;
    std::vector<TextureReference> references_;  // added, not settled
    size_t settled_ = 0;                        // loads taken by settle()
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::unique_ptr<Load>> loads_;  // one per reference added, in order; null once taken
    size_t next_ = 0;                           // the first load the second thread may start
    bool stopping_ = false;
    std::thread worker_;
};

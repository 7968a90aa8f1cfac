#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
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

// Textures converted on a second thread while the geometry file is still
// being read. Each material library that the reader finishes hands over a
// copy of every texture it added; the emission later takes a conversion
// only for a texture that is still exactly as it was handed over, and
// converts the others itself. A texture that shares a palette is never
// converted ahead: its palette is built from all the textures of its slot
// once the reading is done.
//
// Without a second core (or a thread to run on) nothing runs ahead: the
// emission's own wait converts what was handed over.
class TexturesAhead final : public ReadWatcher {
public:
    explicit TexturesAhead(Context& ctx);
    ~TexturesAhead() override;
    TexturesAhead(const TexturesAhead&) = delete;
    TexturesAhead& operator=(const TexturesAhead&) = delete;

    void library_read(const Model& model) override;

    // Converts, on this thread too, whatever is still waiting, and returns
    // once every conversion handed over is done.
    void finish();

    // After finish(): the conversion of texture `index` when it was made
    // from exactly `texture` as it is now; `texture` then becomes what the
    // conversion left of it. Each conversion is taken at most once.
    std::optional<ConvertedTexture> take(size_t index, Texture& texture);

private:
    struct Job {
        Texture input;      // as handed over
        Texture converted;  // as the conversion left it
        ConvertedTexture result;
        bool done = false;
    };

    void work();
    void convert(Job& job, TextureScratch& scratch);

    Context& ctx_;
    size_t handed_over_ = 0;  // textures of the model seen so far
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::unique_ptr<Job>> job_of_;  // by texture index; null where none
    std::deque<Job*> waiting_;                  // not started yet
    size_t running_ = 0;                      // started, not done
    bool stopping_ = false;
    std::thread worker_;
};

#include "texture/texture_ahead.h"

#include <utility>

#include "model/material_library.h"

static constexpr size_t no_load = static_cast<size_t>(-1);

TexturesAhead::TexturesAhead(Context& ctx) : ctx_(ctx) {}

void TexturesAhead::texture_loaded(size_t load, Texture texture)
{
    if (texture.palette_slot != -1)
        return;
    // Textures with the pixels of one before share its place in the table:
    // only the first is converted. (A shared key of different pixels only
    // leaves a conversion to the emission.)
    const uint64_t key = texture_hash(texture);
    std::unique_ptr<TextureScratch> scratch;
    {
        const std::lock_guard lock(mutex_);
        if (!converted_keys_.insert(key).second)
            return;
        if (!spare_.empty()) {
            scratch = std::move(spare_.back());
            spare_.pop_back();
        }
    }
    if (!scratch)
        scratch = std::make_unique<TextureScratch>();

    auto job = std::make_unique<Job>();
    job->input = texture;
    job->converted = std::move(texture);
    try {
        job->result.block = convert_texture(ctx_, *scratch, job->converted, nullptr, 0);
    } catch (...) {
        job->result.error = std::current_exception();
        *scratch = TextureScratch{};
    }

    const std::lock_guard lock(mutex_);
    if (job_of_load_.size() <= load)
        job_of_load_.resize(load + 1);
    job_of_load_[load] = std::move(job);
    spare_.push_back(std::move(scratch));
}

void TexturesAhead::texture_added(size_t index, size_t load)
{
    if (load_of_texture_.size() <= index)
        load_of_texture_.resize(index + 1, no_load);
    load_of_texture_[index] = load;
}

std::optional<ConvertedTexture> TexturesAhead::take(size_t index, Texture& texture)
{
    if (index >= load_of_texture_.size() || load_of_texture_[index] == no_load)
        return std::nullopt;
    const size_t load = std::exchange(load_of_texture_[index], no_load);
    std::unique_ptr<Job> job;
    {
        const std::lock_guard lock(mutex_);
        if (load < job_of_load_.size())
            job = std::move(job_of_load_[load]);
    }
    if (!job || !(job->input == texture))
        return std::nullopt;
    texture = std::move(job->converted);
    return std::move(job->result);
}

#include "texture/texture_ahead.h"

#include <system_error>

#include "texture/texel_encoders.h"

TexturesAhead::TexturesAhead(Context& ctx) : ctx_(ctx) {}

TexturesAhead::~TexturesAhead()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (worker_.joinable())
        worker_.join();
}

void TexturesAhead::library_read(const Model& model)
{
    std::vector<Job*> added;
    for (; handed_over_ < model.textures.size(); ++handed_over_) {
        const Texture& texture = model.textures[handed_over_];
        if (texture.palette_slot != -1)
            continue;
        auto job = std::make_unique<Job>();
        job->input = texture;
        added.push_back(job.get());
        job_of_.resize(handed_over_ + 1);
        job_of_[handed_over_] = std::move(job);
    }
    if (added.empty())
        return;
    {
        const std::lock_guard lock(mutex_);
        waiting_.insert(waiting_.end(), added.begin(), added.end());
    }
    changed_.notify_one();
    if (!worker_.joinable() && std::thread::hardware_concurrency() > 1) {
        try {
            worker_ = std::thread([this] { work(); });
        } catch (const std::system_error&) {
            // No second thread: finish() converts everything.
        }
    }
}

void TexturesAhead::convert(Job& job, TextureScratch& scratch)
{
    job.converted = job.input;
    try {
        job.result.block = convert_texture(ctx_, scratch, job.converted, nullptr, 0);
    } catch (...) {
        job.result.error = std::current_exception();
        scratch = TextureScratch{};
    }
}

// The second thread: takes waiting jobs one by one until stopped.
void TexturesAhead::work()
{
    TextureScratch scratch;
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
        if (stopping_)
            return;
        Job* job = waiting_.front();
        waiting_.pop_front();
        ++running_;
        lock.unlock();
        convert(*job, scratch);
        lock.lock();
        job->done = true;
        --running_;
        changed_.notify_all();
    }
}

void TexturesAhead::finish()
{
    TextureScratch scratch;
    std::unique_lock lock(mutex_);
    while (!waiting_.empty()) {
        Job* job = waiting_.front();
        waiting_.pop_front();
        lock.unlock();
        convert(*job, scratch);
        lock.lock();
        job->done = true;
    }
    changed_.wait(lock, [this] { return running_ == 0; });
}

std::optional<ConvertedTexture> TexturesAhead::take(size_t index, Texture& texture)
{
    if (index >= job_of_.size() || !job_of_[index])
        return std::nullopt;
    // The job goes, whether or not its input still matches.
    const std::unique_ptr<Job> job = std::move(job_of_[index]);
    if (!job->done || !(job->input == texture))
        return std::nullopt;
    texture = std::move(job->converted);
    return std::move(job->result);
}

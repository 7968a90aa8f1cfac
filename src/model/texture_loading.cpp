#include "model/texture_loading.h"

#include <system_error>
#include <utility>

#include "base/context.h"
#include "base/platform.h"
#include "model/material_library.h"
#include "model/model.h"
#include "model/read_watcher.h"

namespace {

// A platform that keeps the messages of a load for its turn.
class KeptMessages : public Platform {
public:
    struct Message {
        std::string title, text;
        MessageIcon icon;
    };
    std::vector<Message> messages;

    void message_box(const std::string& title, const std::string& text, MessageIcon icon) override
    {
        messages.push_back({title, text, icon});
    }
    int run_main_window(const std::string&) override { return 0; }
    int run_log_window(const std::string&) override { return 0; }
};

} // namespace

struct TextureLoading::Load {
    enum class State { waiting, running, done };

    std::string open_path, shown_path;
    // Whether the texture it makes is told to the watcher: not for a bank
    // image, nor for a texture that shares a palette.
    bool made_alone = false;
    State state = State::waiting;

    // What the load gives.
    int32_t width = 0, height = 0;
    std::optional<Image> image;      // the fitted image, unless it became `texture`
    std::optional<Texture> texture;  // as the reference makes it when no texture has its pixels
    std::vector<KeptMessages::Message> messages;
    std::exception_ptr error;
};

TextureLoading::TextureLoading(Context& ctx, ReadWatcher* watcher, bool in_background) : ctx_(ctx), watcher_(watcher)
{
    if (!in_background || std::thread::hardware_concurrency() < 2)
        return;
    try {
        worker_ = std::thread([this] { work(); });
    } catch (const std::system_error&) {
        // No second thread: settle() loads each image itself.
    }
}

TextureLoading::~TextureLoading()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (worker_.joinable())
        worker_.join();
}

void TextureLoading::add(TextureReference reference, const std::string& open_path, const std::string& shown_path)
{
    auto load = std::make_unique<Load>();
    load->open_path = open_path;
    load->shown_path = shown_path;
    load->made_alone = !reference.bank && !reference.palette_marker;
    references_.push_back(std::move(reference));
    {
        const std::lock_guard lock(mutex_);
        loads_.push_back(std::move(load));
    }
    changed_.notify_all();
}

// Loads the image with a context of its own, whose platform keeps the
// warnings; when the thread hears of it, also makes the texture.
void TextureLoading::run(Load& load)
{
    KeptMessages kept;
    Context ctx(kept);
    ctx.settings = ctx_.settings;
    try {
        Image image = load_texture_image(ctx, load.open_path, load.shown_path);
        load.width = image.width;
        load.height = image.height;
        if (load.made_alone && watcher_ != nullptr) {
            Texture texture = texture_record(load.shown_path, image, static_cast<uint16_t>(image.width),
                                             static_cast<uint16_t>(image.height), 0xFFFFFFFF, 0xFFFFFFFF,
                                             std::nullopt);
            texture.name_flags = texture_name_flags(load.shown_path);
            load.texture = std::move(texture);
        } else {
            load.image = std::move(image);
        }
    } catch (...) {
        load.error = std::current_exception();
    }
    load.messages = std::move(kept.messages);
}

// The second thread: loads in order, skipping those that settle() took.
void TextureLoading::work()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || next_ < loads_.size(); });
        if (stopping_)
            return;
        const size_t index = next_++;
        if (!loads_[index] || loads_[index]->state != Load::State::waiting)
            continue;
        Load& load = *loads_[index];
        load.state = Load::State::running;
        lock.unlock();
        run(load);
        // The watcher gets its own copy, taken before settle() may move the
        // texture into the table.
        std::optional<Texture> told = load.texture;
        lock.lock();
        load.state = Load::State::done;
        if (told) {
            lock.unlock();
            watcher_->texture_loaded(index, std::move(*told));
            lock.lock();
        }
    }
}

// The result of load `index`: the second thread's when it is done, else
// made here. This thread never waits for the other, which may be held up
// by whatever else the machine runs; a load it is still working on is made
// here a second time, and the same file gives the same result.
std::unique_ptr<TextureLoading::Load> TextureLoading::take_load(size_t index)
{
    std::unique_lock lock(mutex_);
    Load& load = *loads_[index];
    if (load.state == Load::State::done)
        return std::move(loads_[index]);
    std::unique_ptr<Load> own;
    if (load.state == Load::State::waiting) {
        // The second thread passes it by from now on.
        load.state = Load::State::running;
        own = std::move(loads_[index]);
    } else {
        own = std::make_unique<Load>();
        own->open_path = load.open_path;
        own->shown_path = load.shown_path;
        own->made_alone = load.made_alone;
    }
    lock.unlock();
    // The texture made here is not told to the watcher: the emission
    // converts it.
    run(*own);
    return own;
}

void TextureLoading::settle(Model& model)
{
    for (; settled_ < references_.size(); ++settled_) {
        const size_t index = settled_;
        TextureReference& reference = references_[index];
        const std::unique_ptr<Load> taken = take_load(index);
        Load& load = *taken;
        for (const KeptMessages::Message& message : load.messages)
            ctx_.platform.message_box(message.title, message.text, message.icon);
        if (load.error)
            std::rethrow_exception(load.error);

        Material& m = model.material_table[reference.material];
        const bool banked = reference.bank.has_value();
        m.tex_width_f = static_cast<float>(banked ? reference.bank->width : load.width);
        m.tex_height_f = static_cast<float>(banked ? reference.bank->height : load.height);
        m.tex_width = static_cast<uint16_t>(load.width);
        m.tex_height = static_cast<uint16_t>(load.height);
        const size_t before = model.textures.size();
        if (load.texture) {
            m.texture = find_or_add_texture(model, std::move(*load.texture));
        } else {
            const Image& used = banked ? *reference.bank : *load.image;
            m.texture = find_or_add_texture(model, reference.used_path, used, static_cast<uint16_t>(load.width),
                                            static_cast<uint16_t>(load.height), reference.force_address,
                                            reference.bank_address, reference.palette_marker);
        }
        // The name words of the latest reference decide, also for a shared texture.
        model.textures[m.texture].name_flags = texture_name_flags(reference.used_path);
        if (watcher_ != nullptr && model.textures.size() > before && load.made_alone)
            watcher_->texture_added(m.texture, index);
        reference.bank.reset();
    }
}

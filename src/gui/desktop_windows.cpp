// The main window and the log window, built from the control tables.
#include "gui/desktop_face.h"
#include "gui/window_layout.h"
#include "gui/window_text.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/Fl_Text_Display.H>

#include <ctime>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace {

constexpr int kTextSize = 12;

// A window that runs `on_close` when the user closes it, takes no notice of
// Escape, and hands the first file of a drop to `on_drop`.
class FaceWindow : public Fl_Double_Window {
public:
    FaceWindow(int width, int height, const char* title) : Fl_Double_Window(width, height, title)
    {
        callback(
            [](Fl_Widget*, void* self) {
                // Escape reaches the window as a shortcut; only the close
                // button (or the window manager) ends it.
                if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape)
                    return;
                static_cast<FaceWindow*>(self)->on_close();
            },
            this);
    }

    std::function<void()> on_close;
    std::function<void(const std::string&)> on_drop;

    ~FaceWindow() override { Fl::remove_timeout(act_on_drop, this); }

    int handle(int event) override
    {
        switch (event) {
        case FL_DND_ENTER:
        case FL_DND_DRAG:
            // The window takes the drop itself, wherever it lands (the edit
            // boxes would take it as text), and so must be the widget under
            // the mouse that the drop is released on.
            dragging_ = true;
            Fl::belowmouse(this);
            return 1;
        case FL_DND_LEAVE:
        case FL_DND_RELEASE:
            dragging_ = false;
            return 1;
        case FL_MOVE:
            // A pointer move that the toolkit reports during a drag would
            // hand the drop to the widget under the mouse.
            if (dragging_) {
                Fl::belowmouse(this);
                return 1;
            }
            return Fl_Double_Window::handle(event);
        case FL_PASTE:
            // Acted on once the drop is over: the request's dialogs would
            // keep the dragging program waiting for the drop to finish.
            if (Fl::event_text() != nullptr && on_drop) {
                dropped_ = first_dropped_path(std::string(Fl::event_text(), static_cast<size_t>(Fl::event_length())));
                if (dropped_)
                    Fl::add_timeout(0.0, act_on_drop, this);
            }
            return 1;
        default:
            return Fl_Double_Window::handle(event);
        }
    }

private:
    static void act_on_drop(void* self)
    {
        FaceWindow& window = *static_cast<FaceWindow*>(self);
        if (const std::optional<std::string> path = std::exchange(window.dropped_, std::nullopt))
            window.on_drop(*path);
    }

    bool dragging_ = false;
    std::optional<std::string> dropped_;
};

// The identifier of a button's command.
int command_of(const std::vector<std::pair<Fl_Widget*, int>>& commands, const Fl_Widget* widget)
{
    for (const auto& [button, id] : commands)
        if (button == widget)
            return id;
    return 0;
}

template <typename W>
W* styled(W* widget)
{
    widget->labelsize(kTextSize);
    return widget;
}

class MainWindow {
public:
    MainWindow(DesktopPlatform& platform, const std::string& program_path)
        : platform_(platform), window_(kMainWindowWidth, kMainWindowHeight, kMainWindowTitle)
    {
        state_.program_path = program_path;
        const std::string line = random_line(std::time(nullptr));
        for (const Control& c : kMainWindowControls) {
            switch (c.kind) {
            case ControlKind::CheckBox: {
                Fl_Check_Button* box = styled(new Fl_Check_Button(c.x, c.y, c.width, c.height, c.text));
                box->callback(checkbox_clicked, this);
                check_boxes_.push_back(box);
                break;
            }
            case ControlKind::Label: {
                Fl_Box* label = styled(new Fl_Box(c.x, c.y, c.width, c.height));
                label->copy_label(c.text ? c.text : line.c_str());
                label->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
                break;
            }
            case ControlKind::EditBox: {
                Fl_Input* input = styled(new Fl_Input(c.x, c.y, c.width, c.height));
                input->textsize(kTextSize);
                input->value(c.text);
                input->maximum_size(static_cast<int>(kEditBoxTextLimit));
                (c.id == kIdScale ? scale_ : offset_) = input;
                break;
            }
            case ControlKind::Button: {
                Fl_Button* button = styled(new Fl_Button(c.x, c.y, c.width, c.height, c.text));
                button->callback(button_clicked, this);
                commands_.push_back({button, c.id});
                break;
            }
            case ControlKind::TextBox:
                break;
            }
        }
        window_.end();
        window_.on_close = [this] { window_.hide(); };
        window_.on_drop = [this](const std::string& path) { request(path); };
    }

    void show() { window_.show(); }

private:
    static void checkbox_clicked(Fl_Widget* widget, void* self)
    {
        // The box has toggled itself already; while a request is being
        // prepared it goes back.
        MainWindow& window = *static_cast<MainWindow*>(self);
        Fl_Check_Button* box = static_cast<Fl_Check_Button*>(widget);
        if (window.state_.dialog_busy)
            box->value(!box->value());
    }

    static void button_clicked(Fl_Widget* widget, void* self)
    {
        MainWindow& window = *static_cast<MainWindow*>(self);
        if (window.state_.dialog_busy)
            return;
        switch (command_of(window.commands_, widget)) {
        case kIdConvert:
            window.request(std::nullopt);
            break;
        case kIdAbout:
            window.platform_.message_box("About", about_text(), MessageIcon::Information);
            break;
        case kIdExit:
            window.window_.hide();
            break;
        }
    }

    void request(const std::optional<std::string>& dropped_file)
    {
        WindowChoices choices;
        for (size_t i = 0; i < check_boxes_.size(); ++i)
            choices.checked[i] = check_boxes_[i]->value() != 0;
        choices.scale_text = scale_->value();
        choices.offset_text = offset_->value();
        run_conversion_request(platform_, state_, choices, dropped_file);
    }

    DesktopPlatform& platform_;
    MainWindowState state_;
    FaceWindow window_;
    std::vector<Fl_Check_Button*> check_boxes_;
    std::vector<std::pair<Fl_Widget*, int>> commands_;
    Fl_Input* scale_ = nullptr;
    Fl_Input* offset_ = nullptr;
};

class LogWindow {
public:
    LogWindow(DesktopPlatform& platform, const std::string& log_text)
        : platform_(platform), log_text_(log_text), window_(kLogWindowWidth, kLogWindowHeight, kLogWindowTitle)
    {
        for (const Control& c : kLogWindowControls) {
            if (c.kind == ControlKind::TextBox) {
                Fl_Text_Display* text = new Fl_Text_Display(c.x, c.y, c.width, c.height);
                text->textsize(kTextSize);
                text->textfont(FL_COURIER);
                text->buffer(&buffer_);
                text->wrap_mode(Fl_Text_Display::WRAP_AT_BOUNDS, 0);
                buffer_.text(log_display_text(log_text_).c_str());
            } else {
                Fl_Button* button = styled(new Fl_Button(c.x, c.y, c.width, c.height, c.text));
                button->callback(button_clicked, this);
                commands_.push_back({button, c.id});
            }
        }
        window_.end();
        window_.on_close = [this] { window_.hide(); };
    }

    void show() { window_.show(); }

private:
    static void button_clicked(Fl_Widget* widget, void* self)
    {
        LogWindow& window = *static_cast<LogWindow*>(self);
        switch (command_of(window.commands_, widget)) {
        case kIdAbout:  // "Copy to clipboard"
            // The log's own bytes, CR LF included; the clipboard is served
            // for as long as this process runs.
            Fl::copy(window.log_text_.data(), static_cast<int>(window.log_text_.size()), 1);
            window.platform_.message_box("Message", "Log successfully copied to clipboard!", MessageIcon::Information);
            break;
        case kIdExit:  // "Done"
            window.window_.hide();
            break;
        }
    }

    DesktopPlatform& platform_;
    std::string log_text_;
    Fl_Text_Buffer buffer_;  // outlives the window's text display
    FaceWindow window_;
    std::vector<std::pair<Fl_Widget*, int>> commands_;
};

}  // namespace

int DesktopPlatform::run_main_window(const std::string& program_path)
{
    MainWindow window(*this, program_path);
    window.show();
    Fl::run();
    return 0;
}

int DesktopPlatform::run_log_window(const std::string& log_text)
{
    LogWindow window(*this, log_text);
    window.show();
    Fl::run();
    // Done, or the window closed.
    return 0;
}

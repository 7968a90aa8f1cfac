// The main window's request, apart from any toolkit: the checks of the edit
// boxes, the output name, the command line and the order of the dialogs.
#include <gtest/gtest.h>

#include <set>

#include "gui/main_window_request.h"
#include "gui/window_text.h"

namespace {

struct ScaleCase {
    const char* text;
    float scale;  // when accepted
    const char* message;
};

TEST(MainWindowRequest, ScaleChecks)
{
    const char* divide = "Please don't divide by zero!\n\nWhat are you trying to do, get us all killed?!";
    const char* zero = "Please don't scale by zero!";
    const char* invalid = "Please enter a valid scale!";
    const ScaleCase cases[] = {
        {"2/0", 0, divide},   {"0/2", 0, zero},     {"0/0", 0, divide},  {"abc", 0, invalid},
        {"0", 0, zero},       {"1024", 1024, ""},   {"1/2", 0.5f, ""},   {"100/3", 100.0f / 3.0f, ""},
        {" 12abc", 12, ""},   {"inf", 0, invalid},  {"1e39", 0, invalid}, {"1e30/1e-30", 0, invalid},
        {"nan", 0, invalid},  {"", 0, invalid},     {"1e-30/1e30", 0, zero},
    };
    for (const ScaleCase& c : cases) {
        const ScaleCheck check = check_scale(c.text);
        EXPECT_EQ(check.message, c.message) << c.text;
        if (check.message.empty()) {
            EXPECT_EQ(check.scale, c.scale) << c.text;
        }
    }
}

struct OffsetCase {
    const char* text;
    uint32_t base_offset;
    const char* message;
};

TEST(MainWindowRequest, BaseOffsetChecks)
{
    const char* invalid = "Please enter a valid base offset!";
    const OffsetCase cases[] = {
        {"0x0", 0x06000000, ""},
        {"80000000", 0x80000000, ""},
        {"1000", 0x06001000, ""},
        {"0x06001000", 0x06001000, ""},
        {"060FFFF8", 0x060FFFF8, ""},
        {"q", 0, invalid},
        {"", 0, invalid},
        // Beyond 32 bits: refused, not cut to 0x00000000.
        {"100000000", 0, invalid},
        {"6000004", 0, "The base offset you entered\nis not evenly divisible by 8!"},
        {"06100000", 0, "The base offset you entered is rather high. Perhaps you made a typo?"},
    };
    for (const OffsetCase& c : cases) {
        const OffsetCheck check = check_base_offset(c.text);
        EXPECT_EQ(check.message, c.message) << c.text;
        EXPECT_EQ(check.base_offset, c.base_offset) << c.text;
    }
}

TEST(MainWindowRequest, OutputNameGetsTheExtensionOfWhatIsWritten)
{
    const std::pair<const char*, const char*> zobj[] = {
        {"model.bin", "model.zobj"},
        {"out", "out.zobj"},
        {"a.b.c", "a.b.zobj"},
        {"model.zobj", "model.zobj"},
        {"C:\\my.dir\\out", "C:\\my.dir\\out.zobj"},
        {"/my.dir/out", "/my.dir/out.zobj"},
        {"/my.dir/.out", "/my.dir/.zobj"},
    };
    for (const auto& [name, expected] : zobj)
        EXPECT_EQ(output_name_with_extension(name, false), expected) << name;
    EXPECT_EQ(output_name_with_extension("model.bin", true), "model.h");
    EXPECT_EQ(output_name_with_extension("/my.dir/out", true), "/my.dir/out.h");
}

TEST(MainWindowRequest, CommandLineOfTheDefaultChoices)
{
    EXPECT_EQ(build_command_line("C:\\tessaloom.exe", "C:\\m\\a.objex", "C:\\m\\a.zobj", {}, 0x06000000, 1024.0f),
              "\"C:\\tessaloom.exe\" object \"C:\\m\\a.objex\" \"C:\\m\\a.zobj\" -o 06000000 -s 1024.000000 ");
}

TEST(MainWindowRequest, EachCheckBoxAddsItsSwitchInTheTableOrder)
{
    // Checkboxes in creation order: tiny textures, link format, no header,
    // play-as, UV fix, MTL colours, C array.
    const char* switches[kCheckBoxCount] = {"-tt ", "-l ", "-nh ", "-p ", "-uv ", "-mc ", "-cz "};
    const std::string start = "\"p\" object \"i\" \"o\" ";
    const std::string end = "-o 80000000 -s 0.500000 ";
    for (int i = 0; i < kCheckBoxCount; ++i) {
        std::array<bool, kCheckBoxCount> one{};
        one[static_cast<size_t>(i)] = true;
        EXPECT_EQ(build_command_line("p", "i", "o", one, 0x80000000, 0.5f), start + switches[i] + end);
    }
    std::array<bool, kCheckBoxCount> all;
    all.fill(true);
    EXPECT_EQ(build_command_line("p", "i", "o", all, 0x80000000, 0.5f),
              start + "-l -tt -nh -p -uv -mc -cz " + end);
}

TEST(MainWindowRequest, CommandLineSplitsBackIntoThePathsAsGiven)
{
    const std::vector<std::string> paths = {
        "/home/me/with blank/model.objex", "C:\\m\\a.objex", "say \"hi\".objex", "ends in\\", "two\\\\\"x",
        "tab\there",
    };
    for (const std::string& path : paths) {
        const std::string line = build_command_line("/bin/tess a", path, path + ".zobj", {}, 0x06000000, 2.0f);
        EXPECT_EQ(split_command_line(line),
                  (std::vector<std::string>{"/bin/tess a", "object", path, path + ".zobj", "-o", "06000000", "-s",
                                            "2.000000"}))
            << line;
    }
    EXPECT_EQ(split_command_line("a  \"\" b\\c \\\\\\\"d"), (std::vector<std::string>{"a", "", "b\\c", "\\\"d"}));
}

// Records what a request shows and answers its dialogs from a script.
struct ScriptedFace : RequestFace {
    std::vector<std::string> shown;
    std::optional<std::string> open_answer, save_answer;
    std::vector<std::string> started;
    std::function<void()> during_dialog;

    void message(const std::string& title, const std::string& text, MessageIcon icon) override
    {
        shown.push_back(title + (icon == MessageIcon::Warning ? " (!)" : icon == MessageIcon::None ? "" : " (i)") +
                        ": " + text);
    }
    std::optional<std::string> open_file(const FileDialog& d) override
    {
        shown.push_back("open " + d.title + ": " + d.filter_name + " " + d.patterns);
        if (during_dialog)
            during_dialog();
        return open_answer;
    }
    std::optional<std::string> save_file(const FileDialog& d) override
    {
        shown.push_back("save " + d.title + ": " + d.filter_name + " " + d.patterns);
        return save_answer;
    }
    void start_program(const std::vector<std::string>& args) override { started = args; }
};

TEST(MainWindowRequest, ButtonRequestAsksForBothFilesThenStartsTheConversion)
{
    ScriptedFace face;
    face.open_answer = "/m/with blank.objex";
    face.save_answer = "/m/out.bin";
    MainWindowState state;
    state.program_path = "/bin/tessaloom";
    WindowChoices choices;
    choices.checked[kEmbedCCheckBox] = true;
    choices.checked[1] = true;
    choices.scale_text = "1/4";
    choices.offset_text = "80000000";  // the C array is placed by the conversion itself
    // A click while a dialog is open reaches a busy window and does nothing.
    face.during_dialog = [&] {
        EXPECT_TRUE(state.dialog_busy);
        run_conversion_request(face, state, choices, std::nullopt);
    };
    run_conversion_request(face, state, choices, std::nullopt);

    EXPECT_EQ(face.shown, (std::vector<std::string>{
                              "Instructions: Select the .obj[ex] file you wish to convert...",
                              "open Open: OBJ[EX] Files (.obj, .objex) *.obj;*.objex",
                              "Instructions: Now select a name for the resulting header...",
                              "save Save As: Zelda Object Headers (.h) *.h",
                          }));
    EXPECT_EQ(face.started, (std::vector<std::string>{"/bin/tessaloom", "object", "/m/with blank.objex", "/m/out.h",
                                                       "-l", "-cz", "-o", "80000000", "-s", "0.250000"}));
    EXPECT_EQ(state.command_buffer,
              "\"/bin/tessaloom\" object \"/m/with blank.objex\" \"/m/out.h\" -l -cz -o 80000000 -s 0.250000 ");
    EXPECT_FALSE(state.dialog_busy);
}

TEST(MainWindowRequest, DroppedFileSkipsTheOpenDialog)
{
    ScriptedFace face;
    face.save_answer = "/m/out";
    MainWindowState state;
    state.program_path = "p";
    run_conversion_request(face, state, WindowChoices{}, std::string("/m/dropped.obj"));
    EXPECT_EQ(face.shown, (std::vector<std::string>{"Instructions: Now select a name for the .zobj...",
                                                     "save Save As: Zelda Object Files (.zobj) *.zobj"}));
    EXPECT_EQ(face.started, (std::vector<std::string>{"p", "object", "/m/dropped.obj", "/m/out.zobj", "-o",
                                                       "06000000", "-s", "1024.000000"}));
}

TEST(MainWindowRequest, RefusedTextsAndCancelledDialogsEndTheRequestReadyForTheNext)
{
    struct Case {
        WindowChoices choices;
        std::optional<std::string> open, save;
        std::vector<std::string> shown;
    };
    WindowChoices bad_offset, bad_scale;
    bad_offset.offset_text = "q";
    bad_offset.scale_text = "abc";  // not looked at after the offset
    bad_scale.scale_text = "0/0";
    const Case cases[] = {
        {bad_offset, "/i.obj", "/o", {"Message (!): Please enter a valid base offset!"}},
        {bad_scale,
         "/i.obj",
         "/o",
         {"Message (!): Please don't divide by zero!\n\nWhat are you trying to do, get us all killed?!"}},
        {WindowChoices{}, std::nullopt, "/o", {"Instructions: Select the .obj[ex] file you wish to convert...",
                                                "open Open: OBJ[EX] Files (.obj, .objex) *.obj;*.objex"}},
        {WindowChoices{},
         "/i.obj",
         std::nullopt,
         {"Instructions: Select the .obj[ex] file you wish to convert...",
          "open Open: OBJ[EX] Files (.obj, .objex) *.obj;*.objex", "Instructions: Now select a name for the .zobj...",
          "save Save As: Zelda Object Files (.zobj) *.zobj"}},
    };
    for (const Case& c : cases) {
        ScriptedFace face;
        face.open_answer = c.open;
        face.save_answer = c.save;
        MainWindowState state;
        run_conversion_request(face, state, c.choices, std::nullopt);
        EXPECT_EQ(face.shown, c.shown);
        EXPECT_TRUE(face.started.empty());
        EXPECT_FALSE(state.dialog_busy);
    }

    // While busy nothing at all happens.
    ScriptedFace face;
    MainWindowState state;
    state.dialog_busy = true;
    run_conversion_request(face, state, WindowChoices{}, std::string("/i.obj"));
    EXPECT_TRUE(face.shown.empty());
}

TEST(MainWindowRequest, RandomLineIsOneOfTheSevenWithoutItsLeadingBlanks)
{
    const std::set<std::string> lines = {
        "No leaks, please.",     "No nude mods, please.",       "No bad play-as, please.", "No DAE files, please.",
        "No capes, please.",     "No MP3/OGG imports, please.", "No 3DS Max, please.",
    };
    std::set<std::string> seen;
    for (std::time_t seed = 0; seed < 200; ++seed)
        seen.insert(random_line(seed));
    EXPECT_EQ(seen, lines);
}

TEST(MainWindowRequest, AboutTextNamesTheProgramVersionBuildAndCredits)
{
    const std::string about = about_text();
    for (const char* part : {"tessaloom 1.0", "Built " __DATE__, "Credits", "stb_image"})
        EXPECT_NE(about.find(part), std::string::npos) << part;
}

TEST(LogWindowText, ShownWithPlainLineEnds)
{
    EXPECT_EQ(log_display_text("\r\n/* a */\r\n  #define X 1\r\n"), "\n/* a */\n  #define X 1\n");
}

TEST(LogWindowText, EditBoxLinesAllEndInCrLf)
{
    EXPECT_EQ(log_edit_box_text("\n/* a */\r\nb\n\r\n"), "\r\n/* a */\r\nb\r\n\r\n");
}

TEST(LogWindowText, TestDialogAnswers)
{
    EXPECT_EQ(test_dialog_answer("in.obj\nout", false), "in.obj");
    EXPECT_EQ(test_dialog_answer("in.obj\nout", true), "out");
    EXPECT_EQ(test_dialog_answer("in.obj", true), std::nullopt);
    EXPECT_EQ(test_dialog_answer("\nout", false), std::nullopt);
}

TEST(LogWindowText, FirstDroppedPath)
{
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"file:///tmp/with%20blank/a.objex\r\nfile:///tmp/b.objex\r\n", "/tmp/with blank/a.objex"},
        {"file://localhost/x.obj\n", "/x.obj"},
        {"file:///100%25%zz%4", "/100%%zz%4"},
        {"/plain/path.obj\n/other", "/plain/path.obj"},
        {"", std::nullopt},
        {"\r\nfile:///late", std::nullopt},
        {"file://host-only", std::nullopt},
    };
    for (const auto& [text, path] : cases)
        EXPECT_EQ(first_dropped_path(text), path) << text;
}

}  // namespace

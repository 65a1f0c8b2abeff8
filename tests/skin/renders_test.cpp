// Every window of the installer rendered by the skin viewer from the skin archive the build packs,
// in each of the nineteen languages of the text table, at 100 % and 200 %, in every state the
// program puts it in: the main window's pages with the texts the program writes (the start page
// also with the custom-path panel and its error row, the progress page with the longest stage and
// size texts and each tip, the game package page with its counted, coloured progress, the final
// page), the three dialogs, and every message box the program opens with its one or two buttons;
// the dialogs and both message-box layouts also with a message far longer than they were drawn
// for, which makes the window taller (and only that: every other render has its layout's size).
// The main window and the dialogs use the language's face (its font file registered from the font
// archive, as the installer does); message boxes set their own. The toolkit's measurement says
// that every text fits its box, with no character lacking a glyph, and the controls keep inside
// their rows and away from the window's edges. The PNGs and reports land in
// <build>/tests/skin_renders/<locale>/<window>_<scale>.png, with a contact sheet of the start
// page in all languages.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/game_packages.h"
#include "tests/support/test_support.h"
#include "tests/support/viewer_report.h"
#include "tests/support/window_support.h"
#include "toolkit/canvas.h"
#include "toolkit/font_fallback.h"
#include "toolkit/geometry.h"
#include "toolkit/image_cache.h"
#include "toolkit/png_writer.h"
#include "toolkit/text_renderer.h"
#include "toolkit/text_table.h"
#include "ui/folder_advice.h"
#include "ui/language_codes.h"
#include "utility/archive.h"
#include "utility/text.h"

using testing_support::narrow;
using testing_support::windowsPath;

namespace {

constexpr wchar_t kBoxFace[] = L"\u5FAE\u8F6F\u96C5\u9ED1";  // the message boxes' own face
constexpr int kScales[] = {96, 192};
// Texts keep this far (96-DPI units) from the window's left and right edges, and half of it
// from the top and bottom.
constexpr int kMargin = 16;
// The window name of a right-to-left language's render laid out left to right.
constexpr wchar_t kLeftToRight[] = L"_ltr";
// A name the vendor's service could give a game.
constexpr wchar_t kGameName[] = L"Sky Kingdoms Online";

struct Language {
    const wchar_t* locale;
    const wchar_t* ownName;
};
const Language kLanguages[] = {
    {L"zh_CN", L"简体中文"},   {L"zh_TW", L"繁體中文"},   {L"en_US", L"English"},
    {L"ko_KR", L"한국어"},     {L"vi_VN", L"Tiếng Việt"}, {L"th_TH", L"ไทย"},
    {L"in_ID", L"Indonesia"},  {L"ja_JP", L"日本語"},     {L"ru_RU", L"Русский"},
    {L"pt_PT", L"Português"},  {L"es_ES", L"Español"},    {L"ar_IL", L"العربية"},
    {L"tr_TR", L"Türkçe"},     {L"fr_FR", L"Français"},   {L"de_DE", L"Deutsch"},
    {L"it_IT", L"Italiano"},   {L"fa_IR", L"فارسی"},      {L"ms_MY", L"Malaysia"},
    {L"uk_UA", L"Українська"},
};

std::wstring renderDir() {
    return windowsPath(TAMRIX_SKIN_RENDER_DIR) + L"\\";
}

std::string archiveBytes(const char* unixPath) {
    return testing_support::readFileBytes(windowsPath(unixPath));
}

// The text table as the archive carries it, read once.
const std::string& tableBytes() {
    static const std::string bytes = [] {
        std::string table;
        const std::string skin = archiveBytes(TAMRIX_SKIN_ARCHIVE);
        utility::forEachArchiveFile(
            skin.data(), skin.size(),
            [&](const std::wstring& name, const unsigned char* data, std::size_t size) {
                if (name == L"multi_language.tsv")
                    table.assign(reinterpret_cast<const char*>(data), size);
            });
        return table;
    }();
    return bytes;
}

// The texts of one language, looked up as the program does: a missing key is its own text.
class Texts {
public:
    explicit Texts(const std::wstring& locale) {
        table_.setLanguage(locale);
        loaded_ = table_.loadFromBytes(tableBytes());
    }
    bool loaded() const { return loaded_; }
    std::wstring operator()(const char* key) const {
        const std::wstring wide = utility::utf8ToWide(key);
        return table_.find(wide).value_or(wide);
    }

private:
    tk::TextTable table_;
    bool loaded_ = false;
};

struct Shown {
    std::wstring name;  // empty: any control
    std::wstring text;
};

// One render: a window of the installer in a state, with the texts it must show.
struct Render {
    std::wstring locale;
    std::wstring window;
    std::wstring layout;
    int dpi = 96;
    tk::Size size;       // the window's size in 96-DPI units
    bool grows = false;  // its text needs more room than the size gives: the window grows
    std::vector<std::pair<std::wstring, std::wstring>> options;
    std::vector<Shown> shown;

    std::wstring stem() const {
        return renderDir() + locale + L"\\" + window + L"_" + std::to_wstring(dpi * 100 / 96);
    }
    std::wstring png() const { return stem() + L".png"; }
    std::wstring report() const { return stem() + L".json"; }
    std::string where() const {
        return narrow(locale) + " " + narrow(window) + " at " + std::to_string(dpi * 100 / 96) +
               " %";
    }

    Render& option(const wchar_t* name, const std::wstring& value) {
        options.emplace_back(name, value);
        return *this;
    }
    // A text the program writes into a control that is on show.
    Render& text(const wchar_t* control, const std::wstring& value) {
        shown.push_back({control, value});
        return option(L"--text", std::wstring(control) + L"=" + value);
    }
    // A text written into a control that stays hidden in this state.
    Render& hiddenText(const wchar_t* control, const std::wstring& value) {
        return option(L"--text", std::wstring(control) + L"=" + value);
    }
    Render& visible(const wchar_t* control, bool on) {
        return option(L"--visible", std::wstring(control) + (on ? L"=1" : L"=0"));
    }
    Render& select(const wchar_t* control, int index) {
        return option(L"--select", std::wstring(control) + L"=" + std::to_wstring(index));
    }
    Render& button(bool primary, const std::wstring& caption) {
        shown.push_back({L"", caption});
        return option(L"--button", (primary ? L"primary=" : L"secondary=") + caption);
    }
};

// Every window and state the program shows, in one language at one scale.
std::vector<Render> rendersOf(const Language& language, int dpi) {
    const std::wstring locale = language.locale;
    const Texts t(locale);
    EXPECT_TRUE(t.loaded()) << narrow(locale);
    const helper::LanguageDescriptor descriptor =
        helper::descriptorOf(helper::localeToShort(locale));
    std::vector<Render> renders;
    renders.reserve(64);  // the references handed out below stay valid
    auto render = [&](const wchar_t* window, const wchar_t* layout, tk::Size size) -> Render& {
        Render& r = renders.emplace_back();
        r.locale = locale;
        r.window = window;
        r.layout = layout;
        r.dpi = dpi;
        r.size = size;
        return r;
    };

    // The main window after its initialisation: the language's fonts, the licence link, the
    // install folder, a valid path.
    const std::wstring licenceLink = (L"<u>" + t("protocol_accept_btn") + L"</u>").substr(0, 255);
    auto main = [&](const wchar_t* window) -> Render& {
        Render& r = render(window, L"mainframe.xml", {640, 400});
        r.option(L"--font", descriptor.fontFace)
            .hiddenText(L"protocollinkbtn", licenceLink)
            .hiddenText(L"pathedit", L"D:\\Tamrix\\Tamrix4.0\\")
            .visible(L"errorpathnoticeui", false);
        return r;
    };
    auto start = [&](const wchar_t* window) -> Render& {
        Render& r = main(window);
        r.shown.push_back({L"protocollinkbtn", licenceLink});
        r.shown.push_back({L"LicenseAgreementText", t("protocol_accept")});
        return r;
    };
    auto customPath = [&](Render& r, const std::wstring& path) -> Render& {
        r.visible(L"userdefinitionsui", true)
            .visible(L"userdefinitionLayout", false)
            .visible(L"backLayout", true)
            .text(L"installnowbtn", t("Button_install_now"))
            .text(L"pathedit", path)
            .shown.push_back({L"browsebtn", t("browser")});
        return r;
    };
    start(L"start").shown.push_back({L"userdefinitionBtn", t("Button_install_define")});
    customPath(start(L"start_custom_path"), L"D:\\Program Files\\Tamrix\\Tamrix4.0\\")
        .shown.push_back({L"backBtn", t("Button_install_back")});
    customPath(start(L"start_path_error"), L"C:\\")
        .visible(L"errorpathnoticeui", true)
        .option(L"--enabled", L"installnowbtn=0")
        .shown.push_back({L"pathErrorLabel", t("Label_path_error")});
    for (const wchar_t* image : {L"normalimage", L"hotimage", L"focusedimage"})
        renders.back().option(L"--attr", std::wstring(L"pathedit.") + image +
                                             L"=file='error_edit_bg.png' source='0,0,10,10' "
                                             L"corner='4,4,4,4'");

    // The progress page: each stage text with the longest sizes, and each tip of edition 9.
    const std::wstring downloading = t("Label_downloading") + L"(";
    struct Stage {
        const wchar_t* window;
        std::wstring stage;
        std::optional<std::wstring> size;  // nothing: the size label is hidden
        int bar;
    };
    std::vector<Stage> stages = {
        {L"progress_version", t("Label_getversion_info"), L"", 0},
        {L"progress_download", downloading + L"99%)", L"1023.99M/1024.00M", 62},
        {L"progress_download_kb", downloading + L"0%)", L"1023.99KB/1024.00M", 3},
        {L"progress_download_curl", downloading + L"99%)", std::nullopt, 62},
        {L"progress_install", t("Label_installing_waiting"), std::nullopt, 100},
        {L"progress_download_more", downloading + L"45%)", L"460.80M/1024.00M", 28},
    };
    // With the Arabic configuration the stage text stops at its opening bracket.
    if (locale == L"ar_IL")
        stages.push_back({L"progress_download_ar", downloading, L"1.00M/1024.00M", 3});
    for (std::size_t i = 0; i < stages.size(); ++i) {
        const Stage& s = stages[i];
        Render& r = main(s.window);
        r.select(L"maintab", 2)
            .visible(L"logoControl", false)
            .visible(L"logoControl9", true)
            .text(L"loadingprogresslabel", s.stage)
            .visible(L"downloadProgressLabel", s.size.has_value())
            .select(L"installprogressbar", s.bar)
            .shown.push_back({L"progress_install_label", t("progress_install_label")});
        if (s.size && !s.size->empty()) r.text(L"downloadProgressLabel", *s.size);
        static const char* const kTips[] = {"turn_tip_1", "turn_tip_2", "turn_tip_3",
                                            "turn_tip_4", "turn_tip_5", "turn_tip_6"};
        r.text(L"tipInstallLabel", t(kTips[i % 6]));
    }
    // Other editions show no tips.
    main(L"progress_no_tips")
        .select(L"maintab", 2)
        .text(L"loadingprogresslabel", downloading + L"99%)")
        .text(L"downloadProgressLabel", L"1023.99M/1024.00M")
        .select(L"installprogressbar", 62);

    // The game package page: its first text, the counted progress with the coloured percent,
    // and the install text.
    const std::wstring game = kGameName;
    main(L"game_start")
        .select(L"maintab", 3)
        .text(L"apkinstallprogresslabel", t("progress_downloading_label") + L" " + game);
    main(L"game_progress")
        .select(L"maintab", 3)
        .text(L"apkinstallprogresslabel",
              game_packages::progressLabel(t("progress_downloading_label2"), game, 2, 2,
                                           1023ll * 1048576, 1024ll * 1048576))
        .select(L"apkinstallprogressbar", 99);
    main(L"game_install")
        .select(L"maintab", 3)
        .text(L"apkinstallprogresslabel", t("Label_installingapp_waiting") + L" " + game)
        .select(L"apkinstallprogressbar", 50);
    main(L"finish")
        .select(L"maintab", 4)
        .shown.push_back({L"tastenowbtn", t("Button_start_player")});

    // The dialogs, in the main window's fonts.
    Render& exit = render(L"exit", L"downloaderbox.xml", {436, 236});
    exit.option(L"--font", descriptor.fontFace)
        .text(L"titlelabel", t("MSGBox_noice"))
        .text(L"btnLeft", t("Yes"))
        .text(L"btnRight", t("No"))
        .hiddenText(L"btnSure", t("Yes"))
        .text(L"descriptlabel", t("MsgBox_exit"));
    const wchar_t* const states[] = {L"normalimage", L"hotimage", L"pushedimage"};
    for (int i = 0; i < 3; ++i) {
        const std::wstring source = L"' source='" + std::to_wstring(100 * i) + L",0," +
                                    std::to_wstring(100 * i + 100) + L",32'";
        exit.option(L"--attr", std::wstring(L"btnLeft.") + states[i] +
                                   L"=file='button_box_cancel.png" + source);
        exit.option(L"--attr",
                    std::wstring(L"btnRight.") + states[i] + L"=file='button_box_hot.png" + source);
    }
    render(L"download_error", L"downloaderrorbox.xml", {456, 296})
        .option(L"--font", descriptor.fontFace)
        .shown = {{L"titlelabel", t("MsgBox_error")},
                  {L"descriptlabel", t("downloading_error_tip")},
                  {L"loadingContactUsBtn", t("customer_connect")},
                  {L"btnLeft", t("retry")},
                  {L"btnRight", t("downloadBybrowser")}};
    render(L"install_error", L"installbox.xml", {456, 296})
        .option(L"--font", descriptor.fontFace)
        .shown = {{L"titlelabel", t("MsgBox_error")},
                  {L"descriptlabel", t("install_error_tip2")},
                  {L"loadingContactUsBtn", t("customer_connect")},
                  {L"btnLeft", t("sure")},
                  {L"btnRight", t("cancel")}};

    // A message far longer than the layouts were drawn for (the install help the service sends,
    // or a translator's longer table): eight of the language's own texts, one under the other.
    std::wstring longText;
    for (const std::wstring& part :
         {t("install_error_tip2"), t("change_path_tip"),
          folder_advice::formatAdvice(t("path_ssd"), L"D", L"C"),
          folder_advice::formatAdvice(t("path_more"), L"D", L""), t("download_error_tip2"),
          t("download_slowtip"), t("installing_exit_tip"), t("downloading_error_tip")})
        longText += (longText.empty() ? L"" : L"\n") + part;
    Render& exitLong = render(L"exit_long", L"downloaderbox.xml", {436, 236});
    exitLong.options = exit.options;
    for (const Shown& shown : exit.shown)
        if (shown.name != L"descriptlabel") exitLong.shown.push_back(shown);
    exitLong.grows = true;
    exitLong.text(L"descriptlabel", longText);
    for (auto [window, layout] : {std::pair{L"download_error_long", L"downloaderrorbox.xml"},
                                  std::pair{L"install_error_help", L"installbox.xml"}}) {
        Render& r = render(window, layout, {456, 296});
        r.grows = true;
        r.option(L"--font", descriptor.fontFace).text(L"descriptlabel", longText);
    }

    // Every message box: an icon picks the tall layout, none the short one.
    struct Button {
        bool primary;
        const char* key;
    };
    auto box = [&](const wchar_t* window, bool icon, const char* title, const std::wstring& text,
                   std::vector<Button> buttons) {
        Render& r = icon ? render(window, L"common/xml_messagebox_noicon.xml", {436, 336})
                         : render(window, L"common/xml_messagebox.xml", {436, 266});
        r.option(L"--box-font", kBoxFace)
            .option(L"--box-icon", icon ? L"common/msg_noice48.png" : L"")
            .text(L"titlelabel", t(title))
            .option(L"--box-text", text)
            .shown.push_back({L"descriptlabel", text});
        for (const Button& b : buttons) r.button(b.primary, t(b.key));
    };
    box(L"box_accept_licence", true, "MsgBox_error", t("MsgBox_accept_protocol"),
        {{true, "confirm"}});
    box(L"box_path_error", true, "MsgBox_error", t("MsgBox_error_path"), {{true, "confirm"}});
    box(L"box_disk_space", true, "MsgBox_error", t("MsgBox_disk_notEnough"), {{true, "confirm"}});
    box(L"box_xp", true, "MsgBox_error", t("MsgBox_xp"), {{true, "sure"}});
    box(L"box_installing", true, "MSGBox_noice", t("installing_exit_tip"), {{true, "sure"}});
    box(L"box_slow_download", true, "MSGBox_noice", t("download_slowtip"),
        {{false, "download_close"}, {true, "downloadBybrowser"}});
    box(L"box_browser_offer", true, "MSGBox_noice", t("download_error_tip2"),
        {{true, "Yes"}, {false, "No"}});
    box(L"box_change_path", false, "MSGBox_noice", t("change_path_tip"),
        {{false, "sure"}, {true, "cancel"}});
    box(L"box_advice_ssd", false, "path_noice",
        folder_advice::formatAdvice(t("path_ssd"), L"D", L"C"),
        {{false, "path_not"}, {true, "path_ok"}});
    box(L"box_advice_space", false, "path_noice",
        folder_advice::formatAdvice(t("path_more"), L"D", L""),
        {{false, "path_not"}, {true, "path_ok"}});
    box(L"box_long_icon", true, "MSGBox_noice", longText, {{true, "sure"}});
    box(L"box_long", false, "MSGBox_noice", longText, {{false, "sure"}, {true, "cancel"}});
    renders[renders.size() - 2].grows = renders.back().grows = true;

    // A language written right to left shows every window mirrored: each is rendered once more
    // laid out left to right, with the same texts, to be compared with.
    if (tk::isRightToLeftLocale(locale)) {
        const std::size_t count = renders.size();
        for (std::size_t i = 0; i < count; ++i) {
            Render twin = renders[i];
            twin.window += kLeftToRight;
            twin.options.insert(twin.options.begin(), {L"--direction", L"ltr"});
            renders.push_back(std::move(twin));
        }
    }
    return renders;
}

// ---------------------------------------------------------------------------------------------
// The viewer's report

using Reported = testing_support::ReportedControl;
using Report = testing_support::ViewerReport;

// The PNG's width and height from its header, or 0 x 0.
SIZE pngSize(const std::wstring& path) {
    const std::string bytes = testing_support::readFileBytes(path);
    if (bytes.size() < 24 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return {};
    auto word = [&](std::size_t at) {
        return LONG((std::uint8_t(bytes[at]) << 24) | (std::uint8_t(bytes[at + 1]) << 16) |
                    (std::uint8_t(bytes[at + 2]) << 8) | std::uint8_t(bytes[at + 3]));
    };
    return {word(16), word(20)};
}

// ---------------------------------------------------------------------------------------------
// Running the viewer once per scale, all renders of the scale in one process

struct Rendered {
    Render render;
    Report full;
    std::vector<Reported> report;  // the controls of the report
    SIZE size{};                   // of the picture: the window as it shows
};

// A value as the viewer's batch file writes it: a backslash doubled, a line break as "\n".
std::wstring batchField(const std::wstring& value) {
    std::wstring field;
    for (wchar_t c : value) {
        if (c == L'\\')
            field += L"\\\\";
        else if (c == L'\n')
            field += L"\\n";
        else
            field += c;
    }
    return field;
}

// Runs a Windows program and waits (bounded) for it: its exit code, or -1.
class Program {
public:
    explicit Program(std::wstring commandLine) {
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                           nullptr, &startup, &info_))
            CloseHandle(info_.hThread);
        else
            info_.hProcess = nullptr;
    }
    ~Program() {
        if (info_.hProcess) CloseHandle(info_.hProcess);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    long wait(DWORD timeoutMs) {
        if (!info_.hProcess) return -1;
        if (WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0) {
            TerminateProcess(info_.hProcess, 1);
            return -1;
        }
        DWORD code = 0;
        GetExitCodeProcess(info_.hProcess, &code);
        return static_cast<long>(code);
    }

private:
    PROCESS_INFORMATION info_{};
};

class SkinRenders : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        rendered_ = new std::vector<Rendered>;
        // The font files as the installer unpacks them from its font archive.
        const std::wstring fonts = renderDir() + L"fonts\\";
        CreateDirectoryW(renderDir().c_str(), nullptr);
        CreateDirectoryW(fonts.c_str(), nullptr);
        const std::string fontArchive = archiveBytes(TAMRIX_FONT_ARCHIVE);
        ASSERT_EQ(utility::extractArchiveToFolder(fontArchive.data(), fontArchive.size(), fonts),
                  utility::kArchiveOk);

        std::vector<std::wstring> fontFiles;
        std::vector<std::unique_ptr<Program>> viewers;
        std::vector<Render> all;
        for (int dpi : kScales) {
            std::string batch;
            for (const Language& language : kLanguages) {
                CreateDirectoryW((renderDir() + language.locale).c_str(), nullptr);
                for (Render& r : rendersOf(language, dpi)) {
                    DeleteFileW(r.png().c_str());
                    DeleteFileW(r.report().c_str());
                    std::wstring line = L"--lang\t" + r.locale + L"\t--layout\t" + r.layout +
                                        L"\t--dpi\t" + std::to_wstring(dpi);
                    for (const auto& [option, value] : r.options)
                        line += L"\t" + option + L"\t" + batchField(value);
                    line += L"\t--out\t" + batchField(r.png()) + L"\t--report\t" +
                            batchField(r.report());
                    batch += utility::wideToUtf8(line) + "\n";
                    all.push_back(std::move(r));
                }
            }
            const std::wstring file = renderDir() + L"batch_" + std::to_wstring(dpi) + L".txt";
            ASSERT_TRUE(testing_support::writeFileBytes(file, batch));
            // Every language's font file is registered before the first render asks for a face.
            std::wstring commandLine = L"\"" + windowsPath(TAMRIX_SKIN_VIEWER_EXE) +
                                       L"\" --archive \"" + windowsPath(TAMRIX_SKIN_ARCHIVE) +
                                       L"\"";
            for (const Language& language : kLanguages) {
                const std::wstring font =
                    helper::descriptorOf(helper::localeToShort(language.locale)).fontFile;
                if (!font.empty() && commandLine.find(font) == std::wstring::npos)
                    commandLine += L" --font-file \"" + fonts + font + L"\"";
            }
            commandLine += L" --batch \"" + file + L"\"";
            viewers.push_back(std::make_unique<Program>(commandLine));
        }
        for (auto& viewer : viewers) EXPECT_EQ(viewer->wait(240000), 0) << "skin viewer";
        for (Render& r : all) {
            Rendered done{std::move(r), {}, {}, {}};
            done.full = testing_support::readViewerReport(done.render.report());
            done.report = done.full.controls;
            done.size = pngSize(done.render.png());
            rendered_->push_back(std::move(done));
        }
    }
    static void TearDownTestSuite() {
        delete rendered_;
        rendered_ = nullptr;
        CoUninitialize();
    }
    static const std::vector<Rendered>& rendered() { return *rendered_; }

private:
    static std::vector<Rendered>* rendered_;
};
std::vector<Rendered>* SkinRenders::rendered_ = nullptr;

std::string describe(const Reported& c) {
    return narrow(c.name.empty() ? c.className : c.name) + " \"" + narrow(c.text) + "\"";
}

TEST_F(SkinRenders, EveryWindowIsRenderedInEveryLanguageAtBothScales) {
    // 32 states, the Arabic stage text, and the left-to-right twins of Arabic and Persian.
    ASSERT_EQ(rendered().size(),
              std::size(kLanguages) * std::size(kScales) * 32 + 2 + std::size(kScales) * (33 + 32));
    for (const Rendered& r : rendered()) {
        SCOPED_TRACE(r.render.where());
        // The layout's size, or taller where the text needs it; as wide as the layout.
        EXPECT_EQ(r.size.cx, tk::scaleLength(r.render.size.cx, r.render.dpi));
        if (r.render.grows)
            EXPECT_GT(r.size.cy, tk::scaleLength(r.render.size.cy, r.render.dpi));
        else
            EXPECT_EQ(r.size.cy, tk::scaleLength(r.render.size.cy, r.render.dpi));
        ASSERT_FALSE(r.report.empty()) << "no report";
        for (const tk::Diagnostic& d : r.full.diagnostics) ADD_FAILURE() << narrow(tk::describe(d));
        // The texts the program wrote are on show, in the controls it wrote them into.
        for (const Shown& s : r.render.shown) {
            const bool found = std::any_of(r.report.begin(), r.report.end(), [&](auto& c) {
                return c.hasText && c.text == s.text && (s.name.empty() || c.name == s.name);
            });
            EXPECT_TRUE(found) << narrow(s.name) << " does not show \"" << narrow(s.text) << "\"";
        }
    }
}

TEST_F(SkinRenders, EveryTextFitsItsBoxWithAGlyphForEveryCharacter) {
    int texts = 0;
    for (const Rendered& r : rendered())
        for (const Reported& c : r.report) {
            if (!c.hasText) continue;
            ++texts;
            EXPECT_TRUE(c.fits) << r.render.where() << ": " << describe(c) << " needs " << c.need.cx
                                << "x" << c.need.cy << " in " << c.box.cx << "x" << c.box.cy
                                << (c.multiline ? " (lines)" : " (one line)");
            EXPECT_FALSE(c.missingGlyph) << r.render.where() << ": " << describe(c);
        }
    EXPECT_GT(texts, int(rendered().size()) * 3);
}

TEST_F(SkinRenders, ControlsStayInsideTheirRowsAndTheWindow) {
    for (const Rendered& r : rendered()) {
        const RECT window{0, 0, r.size.cx, r.size.cy};
        std::vector<const Reported*> parents;  // by depth
        for (const Reported& c : r.report) {
            parents.resize(std::size_t(c.depth));
            const bool empty = c.rect.right <= c.rect.left || c.rect.bottom <= c.rect.top;
            const RECT outer = parents.empty() ? window : parents.back()->rect;
            if (!empty) {
                EXPECT_TRUE(c.rect.left >= outer.left && c.rect.top >= outer.top &&
                            c.rect.right <= outer.right && c.rect.bottom <= outer.bottom)
                    << r.render.where() << ": " << describe(c) << " sticks out of "
                    << (parents.empty() ? std::string("the window") : describe(*parents.back()));
            }
            parents.push_back(&c);
        }
    }
}

TEST_F(SkinRenders, TextsKeepAwayFromTheWindowEdges) {
    for (const Rendered& r : rendered()) {
        const int side = tk::scaleLength(kMargin, r.render.dpi);
        const int top = tk::scaleLength(kMargin / 2, r.render.dpi);
        const int width = r.size.cx;
        const int height = r.size.cy;
        for (const Reported& c : r.report) {
            if (!c.hasText) continue;
            EXPECT_TRUE(c.rect.left >= side && c.rect.right <= width - side && c.rect.top >= top &&
                        c.rect.bottom <= height - top)
                << r.render.where() << ": " << describe(c) << " at " << c.rect.left << ","
                << c.rect.top << "," << c.rect.right << "," << c.rect.bottom;
        }
    }
}

// What a screen reader says: every control a person can reach (it takes the focus or has an
// action) has a name, in every window, state and language; the licence check box is named by
// its sentence and link, the folder edit by the label above it.
TEST_F(SkinRenders, EveryControlAPersonCanReachHasAName) {
    int reachable = 0, licence = 0, folder = 0;
    for (const Rendered& r : rendered()) {
        const Texts t(r.render.locale);
        for (const Reported& c : r.report) {
            if (!c.reachable) continue;
            ++reachable;
            EXPECT_FALSE(c.accessibleName.empty())
                << r.render.where() << ": " << narrow(c.name) << " (" << narrow(c.className)
                << ") has no name";
            if (c.name == L"acceptprotocolopt") {
                ++licence;
                EXPECT_EQ(narrow(c.accessibleName),
                          narrow(t("protocol_accept") + L" " + t("protocol_accept_btn")))
                    << r.render.where();
            }
            if (c.name == L"pathedit") {
                ++folder;
                EXPECT_EQ(narrow(c.accessibleName), narrow(t("Label_choice_path")))
                    << r.render.where();
            }
        }
    }
    EXPECT_GT(reachable, int(rendered().size()) * 2);
    // The start page in its three states, in every language at both scales (and the twins).
    EXPECT_GE(licence, int(std::size(kLanguages) * std::size(kScales)) * 3);
    EXPECT_GE(folder, int(std::size(kLanguages) * std::size(kScales)) * 2);
}

bool isTwin(const Render& r) {
    return r.window.ends_with(kLeftToRight);
}

// Arabic and Persian windows are the mirror image of the same windows laid out left to right:
// control by control, x' = W - x - w, in every window and state, at both scales.
TEST_F(SkinRenders, RightToLeftWindowsAreTheMirrorOfTheirLeftToRightLayout) {
    int windows = 0;
    for (const Rendered& r : rendered()) {
        if (!tk::isRightToLeftLocale(r.render.locale) || isTwin(r.render)) continue;
        SCOPED_TRACE(r.render.where());
        const auto twin = std::find_if(rendered().begin(), rendered().end(), [&](auto& other) {
            return other.render.locale == r.render.locale && other.render.dpi == r.render.dpi &&
                   other.render.window == r.render.window + kLeftToRight;
        });
        ASSERT_NE(twin, rendered().end());
        ASSERT_EQ(r.report.size(), twin->report.size());
        ASSERT_FALSE(r.report.empty());
        const int width = r.size.cx;
        int moved = 0;
        for (std::size_t i = 0; i < r.report.size(); ++i) {
            const Reported& shown = r.report[i];
            const Reported& ltr = twin->report[i];
            ASSERT_EQ(shown.name, ltr.name);
            ASSERT_EQ(shown.className, ltr.className);
            const RECT mirrored{width - ltr.rect.right, ltr.rect.top, width - ltr.rect.left,
                                ltr.rect.bottom};
            EXPECT_TRUE(EqualRect(&shown.rect, &mirrored))
                << describe(shown) << " at " << shown.rect.left << ".." << shown.rect.right
                << ", mirrored " << mirrored.left << ".." << mirrored.right;
            moved += shown.rect.left != ltr.rect.left;
        }
        EXPECT_GT(moved, 0) << "nothing moved";
        ++windows;
    }
    EXPECT_EQ(windows, int(std::size(kScales)) * (33 + 32));
}

// What moves from page to page stays in place: the main action of the start page and of the
// final page, the progress bar and its text of the progress page and of the game page.
TEST_F(SkinRenders, PagesKeepTheActionAndTheBarInPlace) {
    auto find = [&](const std::wstring& locale, int dpi, const wchar_t* window,
                    const wchar_t* name) -> const Reported* {
        for (const Rendered& r : rendered()) {
            if (r.render.locale != locale || r.render.dpi != dpi || r.render.window != window)
                continue;
            for (const Reported& c : r.report)
                if (c.name == name) return &c;
        }
        return nullptr;
    };
    auto same = [](const RECT& a, const RECT& b) {
        return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
    };
    const struct {
        const wchar_t *window, *control, *otherWindow, *otherControl;
    } pairs[] = {
        {L"start", L"installnowbtn", L"finish", L"tastenowbtn"},
        {L"progress_download", L"installprogressbar", L"game_progress", L"apkinstallprogressbar"},
        {L"progress_download", L"loadingprogresslabel", L"game_progress",
         L"apkinstallprogresslabel"},
    };
    for (const Language& language : kLanguages)
        for (int dpi : kScales)
            for (const auto& p : pairs) {
                const Reported* a = find(language.locale, dpi, p.window, p.control);
                const Reported* b = find(language.locale, dpi, p.otherWindow, p.otherControl);
                ASSERT_TRUE(a && b) << narrow(language.locale) << " " << narrow(p.control);
                // The stage text shares its row with the sizes: it starts where the game's does.
                const bool rtl = tk::isRightToLeftLocale(language.locale);
                EXPECT_TRUE(same(a->rect, b->rect) ||
                            (std::wstring(p.control) == L"loadingprogresslabel" &&
                             a->rect.top == b->rect.top && a->rect.bottom == b->rect.bottom &&
                             (rtl ? a->rect.right == b->rect.right : a->rect.left == b->rect.left)))
                    << narrow(language.locale) << " at " << dpi << ": " << narrow(p.otherControl)
                    << " is not where " << narrow(p.control) << " is";
            }
}

// The start page of every language on one sheet, 4 columns by 5 rows, the locale under each.
TEST_F(SkinRenders, ContactSheetOfTheStartPage) {
    constexpr int kColumns = 4, kGap = 24, kLabel = 32;
    const int cellWidth = 640, cellHeight = 400;
    const int rows = int((std::size(kLanguages) + kColumns - 1) / kColumns);
    tk::Surface surface;
    ASSERT_TRUE(surface.resize(kGap + kColumns * (cellWidth + kGap),
                               kGap + rows * (cellHeight + kLabel + kGap)));
    tk::Canvas canvas(surface);
    canvas.clear({0, 0, surface.width(), surface.height()}, 0xFFE1E5EB);
    int placed = 0;
    for (const Rendered& r : rendered()) {
        if (r.render.window != L"start" || r.render.dpi != 96) continue;
        const auto bytes = testing_support::readFileBytes(r.render.png());
        const tk::ImagePtr image =
            tk::decodeImage(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
        ASSERT_NE(image, nullptr) << r.render.where();
        const int x = kGap + (placed % kColumns) * (cellWidth + kGap);
        const int y = kGap + (placed / kColumns) * (cellHeight + kLabel + kGap);
        canvas.drawImage(*image, {0, 0, image->width, image->height},
                         {x, y, x + cellWidth, y + cellHeight}, {});
        const auto own =
            std::find_if(std::begin(kLanguages), std::end(kLanguages),
                         [&](const Language& l) { return l.locale == r.render.locale; });
        tk::TextFormat format;
        format.align = tk::kAlignCenter | tk::kAlignVCenter;
        format.language = r.render.locale;
        const auto drawn = tk::drawText(
            canvas, r.render.locale + L"  \u00B7  " + own->ownName, {L"Noto Sans", 16}, 96, format,
            {x, y + cellHeight, x + cellWidth, y + cellHeight + kLabel}, 0xFF17171A);
        EXPECT_TRUE(drawn.fits) << r.render.where();
        EXPECT_FALSE(drawn.missingGlyph) << r.render.where();
        ++placed;
    }
    EXPECT_EQ(placed, int(std::size(kLanguages)));
    const std::wstring sheet = renderDir() + L"contact_sheet.png";
    ASSERT_TRUE(tk::writePng(sheet, surface));
    EXPECT_EQ(pngSize(sheet).cx, surface.width());
}

}  // namespace

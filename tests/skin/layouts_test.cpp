// The skin archive the build packs into the installer, read through the product's own loaders
// (the skin store, the layout parser, the control factory, the image strings): every file the
// windows open is there; every window's layout has its size and the named controls the program
// finds, of the kind, on the page and in the state it expects; every "@" text names a key of the
// text table; and every image a layout or the program names is there at 1x and, doubled, in its
// enlarged folder, large enough for the source rectangles and corners its image strings cut.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/test_support.h"
#include "tests/support/window_support.h"
#include "toolkit/combo.h"
#include "toolkit/container.h"
#include "toolkit/edit.h"
#include "toolkit/image_cache.h"
#include "toolkit/image_string.h"
#include "toolkit/layout_tree.h"
#include "toolkit/paint_manager.h"
#include "toolkit/skin_store.h"
#include "toolkit/text_table.h"
#include "toolkit/window_layout.h"
#include "utility/archive.h"

using testing_support::narrow;

namespace {

// The source tree this program was built from: the compiler gives this file's absolute path,
// and under Wine the Unix root is drive Z:.
std::wstring sourceFolder() {
    constexpr std::string_view self = __FILE__;
    constexpr std::string_view tail = "tests/skin/layouts_test.cpp";
    static_assert(self.ends_with(tail), "the source tree is found from this file's own path");
    return testing_support::windowsPath(self.substr(0, self.size() - tail.size()));
}

// The archive's entries by path, read once.
const std::map<std::wstring, std::string>& archiveEntries() {
    static const std::map<std::wstring, std::string> entries = [] {
        std::map<std::wstring, std::string> read;
        const std::string bytes =
            testing_support::readFileBytes(testing_support::windowsPath(TAMRIX_SKIN_ARCHIVE));
        EXPECT_FALSE(bytes.empty()) << TAMRIX_SKIN_ARCHIVE;
        const int result = utility::forEachArchiveFile(
            bytes.data(), bytes.size(),
            [&](const std::wstring& name, const unsigned char* data, std::size_t size) {
                read[name].assign(reinterpret_cast<const char*>(data), size);
            });
        EXPECT_EQ(result, utility::kArchiveOk);
        return read;
    }();
    return entries;
}

// The process's skin store holds the archive, as the installer's does after start-up; no
// skin folder on disk, and the text table stays empty so layout texts keep their "@key".
class SkinEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        const std::string bytes =
            testing_support::readFileBytes(testing_support::windowsPath(TAMRIX_SKIN_ARCHIVE));
        ASSERT_TRUE(tk::skinStore().registerArchiveBytes(bytes.data(), bytes.size()));
        tk::imageCache().setLoader(
            [](const std::wstring& name) { return tk::skinStore().load(name); });
    }
    void TearDown() override { CoUninitialize(); }
};
::testing::Environment* const kSkin = ::testing::AddGlobalTestEnvironment(new SkinEnvironment);

// Every layout file the windows open, with the pages and rows they include.
const wchar_t* const kLayouts[] = {
    L"mainframe.xml",
    L"mainframe_start.xml",
    L"mainframe_licence.xml",
    L"mainframe_progress.xml",
    L"mainframe_game.xml",
    L"mainframe_finish.xml",
    L"downloaderbox.xml",
    L"downloaderrorbox.xml",
    L"installbox.xml",
    L"common/xml_messagebox.xml",
    L"common/xml_messagebox_noicon.xml",
    L"common/xml_messagebox2.xml",
    L"common/xml_traynotice.xml",
    L"common/dialog_titlebar.xml",
};
// The layouts that are windows (the others are included by them).
const wchar_t* const kWindowLayouts[] = {
    L"mainframe.xml",
    L"downloaderbox.xml",
    L"downloaderrorbox.xml",
    L"installbox.xml",
    L"common/xml_messagebox.xml",
    L"common/xml_messagebox_noicon.xml",
    L"common/xml_messagebox2.xml",
    L"common/xml_traynotice.xml",
};
const wchar_t* const kLanguageCodes[] = {L"ar", L"cn", L"de", L"en", L"es", L"fa", L"fr", L"id",
                                         L"jp", L"kr", L"pt", L"ru", L"th", L"tr", L"tw", L"vn"};

// A window's layout as its window builds it: the tree in a paint manager, and its settings.
struct Window {
    tk::PaintManager manager;
    std::optional<tk::WindowSettings> settings;
    std::optional<tk::LayoutDocument> document;

    explicit Window(const std::wstring& file) {
        manager.attachWindow(nullptr, {}, nullptr);
        settings = tk::loadWindowLayout(manager, L"", file, nullptr);
        if (const auto bytes = tk::skinStore().load(file))
            document = tk::parseLayout(
                *bytes, [](const std::wstring& name) { return tk::skinStore().load(name); });
    }
    tk::Control* find(std::wstring_view name) const { return manager.findControl(name); }
};

// The layout element of the named control, with its attributes as written.
const tk::LayoutNode* findNode(const std::vector<tk::LayoutNode>& nodes, std::wstring_view name) {
    for (const tk::LayoutNode& node : nodes) {
        const std::wstring* own = tk::findAttribute(node.attributes, L"name");
        if (own && *own == name) return &node;
        if (const tk::LayoutNode* inside = findNode(node.children, name)) return inside;
    }
    return nullptr;
}

std::wstring attributeOf(const tk::LayoutNode* node, std::wstring_view attribute) {
    if (!node) return L"<no element>";
    const std::wstring* value = tk::findAttribute(node->attributes, attribute);
    return value ? *value : L"<none>";
}

void forEachNode(const std::vector<tk::LayoutNode>& nodes,
                 const std::function<void(const tk::LayoutNode&)>& visit) {
    for (const tk::LayoutNode& node : nodes) {
        visit(node);
        forEachNode(node.children, visit);
    }
}

// ---------------------------------------------------------------------------------------------
// The archive

TEST(SkinArchive, HoldsEveryFileTheWindowsOpenWithSlashSeparatedPaths) {
    const auto& entries = archiveEntries();
    ASSERT_FALSE(entries.empty());
    std::vector<std::wstring> files(std::begin(kLayouts), std::end(kLayouts));
    files.push_back(L"scrollbar.xml");
    files.push_back(L"multi_language.tsv");
    for (const wchar_t* code : kLanguageCodes)
        files.push_back(std::wstring(L"language/downloader_") + code + L".xml");
    for (const std::wstring& file : files) {
        const auto found = entries.find(file);
        ASSERT_NE(found, entries.end()) << narrow(file);
        EXPECT_GT(found->second.size(), 10u) << narrow(file);
        EXPECT_TRUE(tk::skinStore().exists(file)) << narrow(file);
    }
    for (const auto& [name, bytes] : entries)
        EXPECT_EQ(name.find(L'\\'), std::wstring::npos) << narrow(name);
}

TEST(SkinArchive, EveryWindowLayoutParsesAndBuildsWithEveryInclude) {
    for (const wchar_t* file : kWindowLayouts) {
        SCOPED_TRACE(narrow(file));
        const auto bytes = tk::skinStore().load(file);
        ASSERT_TRUE(bytes.has_value());
        std::vector<std::wstring> missing;
        const auto document = tk::parseLayout(*bytes, [&](const std::wstring& name) {
            auto found = tk::skinStore().load(name);
            if (!found) missing.push_back(name);
            return found;
        });
        ASSERT_TRUE(document.has_value()) << "does not parse";
        EXPECT_TRUE(missing.empty()) << "includes a missing " << narrow(missing.front());
        const auto root = tk::buildControls(document->roots, nullptr);
        ASSERT_NE(root, nullptr);
        int unknown = 0;
        forEachNode(document->roots, [&](const tk::LayoutNode& node) {
            auto control = tk::createStandardControl(node.element);
            if (!control) {
                ADD_FAILURE() << "unknown element " << narrow(node.element);
                return;
            }
            unknown += tk::applyAttributes(*control, node.attributes);
        });
        EXPECT_EQ(unknown, 0) << "attributes the controls do not know";
    }
}

TEST(SkinArchive, WindowsHaveTheirSizes) {
    const struct {
        const wchar_t* file;
        tk::Size size, minimum;
        std::optional<tk::Rect> caption;
    } cases[] = {
        {L"mainframe.xml", {640, 400}, {600, 400}, tk::Rect{0, 0, 220, 180}},
        {L"downloaderbox.xml", {436, 236}, {}, {}},
        {L"downloaderrorbox.xml", {456, 296}, {}, {}},
        {L"installbox.xml", {456, 296}, {}, {}},
        {L"common/xml_messagebox.xml", {436, 266}, {}, {}},
        {L"common/xml_messagebox_noicon.xml", {436, 336}, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(narrow(c.file));
        const Window window(c.file);
        ASSERT_TRUE(window.settings.has_value());
        EXPECT_EQ(window.settings->size, c.size);
        EXPECT_EQ(window.settings->minimum, c.minimum);
        if (c.caption) {
            EXPECT_EQ(window.settings->caption, *c.caption);
        }
        EXPECT_EQ(window.settings->roundCorner, 8);
    }
}

// The windows as the installer builds them: the main window first, with the layout's fonts, and
// the others after it has shared its fonts 0-8; nothing in any layout is wrong.
TEST(SkinArchive, EveryWindowLayoutBuildsWithoutADiagnostic) {
    tk::FontTable::clearShared();
    for (const wchar_t* file : kWindowLayouts) {
        tk::PaintManager manager;
        manager.attachWindow(nullptr, {}, nullptr);
        tk::Diagnostics diagnostics;
        EXPECT_TRUE(tk::loadWindowLayout(manager, L"", file, nullptr, &diagnostics))
            << narrow(file);
        for (const tk::Diagnostic& d : diagnostics) ADD_FAILURE() << narrow(tk::describe(d));
        if (std::wstring_view(file) == L"mainframe.xml")
            for (int id = 0; id < 9; ++id) manager.fonts().addFont(id, {L"Roboto", 12 + id}, true);
    }
    tk::FontTable::clearShared();
}

// ---------------------------------------------------------------------------------------------
// The main window

constexpr int kTitleBar = -1;  // outside the page switcher, in the title bar
constexpr int kAnywhere = -2;  // not checked

// Where a control sits: its page of maintab, or the title bar.
int pageOf(const Window& window, const tk::Control* control) {
    const tk::Control* tab = window.find(L"maintab");
    const tk::Control* titlebar = window.find(L"titlebar");
    for (const tk::Control* c = control; c && c->parent(); c = c->parent()) {
        if (c == titlebar) return kTitleBar;
        if (c->parent() == tab)
            for (int i = 0; i < tab->childCount(); ++i)
                if (tab->childAt(i) == c) return i;
    }
    return control == titlebar ? kTitleBar : -3;
}

enum Flag : unsigned {
    kHidden = 1,      // hidden as shipped
    kMarkup = 2,      // showhtml
    kMultiline = 4,   // wraps
    kSelected = 8,    // option selected as shipped
    kNoText = 16,     // empty text
    kHiddenRow = 32,  // inside a row that is hidden as shipped
    kOffWindow = 64,  // a float placed beyond the window's right edge
};

struct Named {
    const wchar_t* name;
    const wchar_t* kind;
    int page;
    unsigned flags;
    const wchar_t* text = nullptr;     // as written ("@key"); nullptr: not checked
    const wchar_t* tooltip = nullptr;  // as written
};

const Named kMainControls[] = {
    {L"rootContainer", L"VerticalLayout", kAnywhere, 0},
    {L"bgImageControl", L"Control", kAnywhere, 0},
    {L"titlebar", L"HorizontalLayout", kTitleBar, 0},
    {L"direction_left", L"Button", 2, kHidden},
    {L"direction_right", L"Button", 2, kHidden},
    {L"titlename", L"Label", kTitleBar, kNoText},
    {L"languageCombo", L"Combo", kTitleBar, kHidden},
    {L"joinfacebookBtn", L"Button", kTitleBar, 0, nullptr, L"@facebook_tip"},
    {L"minbtn", L"Button", kTitleBar, 0, nullptr, L"@minimize_tip"},
    {L"closebtn", L"Button", kTitleBar, 0, nullptr, L"@download_close"},
    {L"logoControl", L"VerticalLayout", kTitleBar, 0},
    {L"logoControl9", L"VerticalLayout", kTitleBar, kHidden},
    {L"maintab", L"TabLayout", kAnywhere, 0},
    {L"userdefinitionsui", L"VerticalLayout", 0, kHidden},
    {L"pathedit", L"Edit", 0, 0},
    {L"browsebtn", L"Button", 0, 0, L"@browser"},
    {L"errorpathnoticeui", L"HorizontalLayout", 0, 0},
    {L"pathErrorLabel", L"Label", 0, 0, L"@Label_path_error"},
    {L"protocoleLayout", L"HorizontalLayout", 0, 0},
    {L"acceptprotocolopt", L"Option", 0, kSelected},
    {L"LicenseAgreementText", L"Label", 0, kMarkup, L"@protocol_accept"},
    {L"protocollinkbtn", L"Button", 0, kMarkup | kNoText},
    {L"userdefinitionLayout", L"HorizontalLayout", 0, 0},
    {L"userdefinitionBtn", L"Button", 0, 0, L"@Button_install_define"},
    {L"backLayout", L"HorizontalLayout", 0, kHidden},
    {L"backBtn", L"Button", 0, 0, L"@Button_install_back"},
    {L"installnowbtn", L"Button", 0, 0, L"@Button_install_fast"},
    {L"protocoledit", L"RichEdit", 1, kMultiline},
    {L"confirmprotocolbtn", L"Button", 1, 0, L"@sure"},
    {L"loadingprogresslabel", L"Label", 2, 0, L"@progress_downloading_label"},
    {L"installprogressbar", L"Progress", 2, 0},
    {L"progress_install_label", L"Label", 2, 0, L"@progress_install_label"},
    {L"progress_finish_label", L"Label", 2, kHidden | kOffWindow, L"@progress_finish_label"},
    {L"downloadProgressLabel", L"Label", 2, kNoText},
    {L"homepageBtn", L"Button", 2, kHiddenRow},
    {L"tipInstallLabel", L"Label", 2, kMultiline},
    {L"apkinstallprogresslabel", L"Label", 3, kMarkup},
    {L"apkfilenamelabel", L"Label", 3, 0},
    {L"apkinstallprogressbar", L"Progress", 3, 0},
    {L"tastenowbtn", L"Button", 4, 0, L"@Button_start_player"},
};

void checkNamed(const Window& window, const Named& n) {
    SCOPED_TRACE(narrow(n.name));
    tk::Control* c = window.find(n.name);
    ASSERT_NE(c, nullptr) << "not in the layout";
    EXPECT_EQ(c->className(), n.kind);
    if (n.page != kAnywhere) {
        EXPECT_EQ(pageOf(window, c), n.page);
    }
    EXPECT_EQ(c->ownVisible(), !(n.flags & kHidden));
    if (n.text) {
        EXPECT_EQ(narrow(c->text()), narrow(n.text));
    }
    if (n.flags & kNoText) {
        EXPECT_EQ(narrow(c->text()), "");
    }
    if (n.tooltip) {
        EXPECT_EQ(narrow(c->tooltip()), narrow(n.tooltip));
    }
    if (auto* label = dynamic_cast<tk::Label*>(c)) {
        EXPECT_EQ(label->textFormat().markup, bool(n.flags & kMarkup));
        EXPECT_EQ(label->textFormat().multiline, bool(n.flags & kMultiline));
    }
    if (auto* option = dynamic_cast<tk::Option*>(c)) {
        EXPECT_EQ(option->isSelected(), bool(n.flags & kSelected));
    }
    if (n.flags & kHiddenRow) {
        ASSERT_NE(c->parent(), nullptr);
        EXPECT_FALSE(c->parent()->ownVisible()) << "its row is shown";
    }
    if (n.flags & kOffWindow) {
        EXPECT_TRUE(c->isFloat());
        EXPECT_GE(c->floatPos().left, 640);
    }
}

TEST(MainWindowLayout, HasEveryNamedControlOfItsKindPageAndState) {
    const Window window(L"mainframe.xml");
    ASSERT_NE(window.manager.root(), nullptr);
    EXPECT_EQ(window.manager.root(), window.find(L"rootContainer"));
    for (const Named& n : kMainControls) checkNamed(window, n);
}

TEST(MainWindowLayout, PagesAndWhatTheProgramAssumesOfThem) {
    const Window window(L"mainframe.xml");
    auto* tab = dynamic_cast<tk::TabLayout*>(window.find(L"maintab"));
    ASSERT_NE(tab, nullptr);
    ASSERT_EQ(tab->childCount(), 8);
    EXPECT_EQ(tab->selectedIndex(), 0);
    for (int page = 0; page < 8; ++page)
        EXPECT_EQ(tab->childAt(page)->childCount() == 0, page >= 5) << "page " << page;

    auto* combo = dynamic_cast<tk::Combo*>(window.find(L"languageCombo"));
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->itemCount(), 0);

    for (const wchar_t* name : {L"installprogressbar", L"apkinstallprogressbar"}) {
        auto* bar = dynamic_cast<tk::Progress*>(window.find(name));
        ASSERT_NE(bar, nullptr) << narrow(name);
        EXPECT_EQ(bar->minimum(), 0) << narrow(name);
        EXPECT_EQ(bar->maximum(), 100) << narrow(name);
        EXPECT_EQ(bar->value(), 0) << narrow(name);
        EXPECT_EQ(attributeOf(findNode(window.document->roots, name), L"hor"), L"true");
    }
    // The row under the progress bar names its two parts, the download and then the install:
    // "progress_download_label" pairs with "progress_install_label", while
    // "progress_downloading_label2" only ever comes before a game's name.
    tk::Control* bar = window.find(L"installprogressbar");
    tk::Control* page = bar->parent();
    int at = 0;
    while (page->childAt(at) != bar) ++at;
    tk::Control* captions = page->childAt(at + 1);
    ASSERT_NE(captions, nullptr);
    ASSERT_GE(captions->childCount(), 2);
    EXPECT_EQ(narrow(captions->childAt(0)->text()), "@progress_download_label");
    EXPECT_EQ(captions->childAt(1), window.find(L"progress_install_label"));

    const tk::LayoutNode* licence = findNode(window.document->roots, L"protocoledit");
    EXPECT_EQ(attributeOf(licence, L"readonly"), L"true");
    EXPECT_EQ(attributeOf(licence, L"rich"), L"true");
    // The homepage button's layout text is a placeholder web address.
    EXPECT_TRUE(window.find(L"homepageBtn")->text().starts_with(L"https://"));

    // The fonts the layout declares: ids 0-4 and the bold 10, all "微软雅黑".
    ASSERT_TRUE(window.document.has_value());
    std::map<int, tk::FontSpec> fonts;
    int defaults = 0;
    for (const auto& f : window.document->fonts) {
        fonts[f.id] = f.spec;
        defaults += f.isDefault ? f.id + 1 : 0;
    }
    const std::map<int, tk::FontSpec> expected = {
        {0, {L"\u5FAE\u8F6F\u96C5\u9ED1", 12}}, {1, {L"\u5FAE\u8F6F\u96C5\u9ED1", 16}},
        {2, {L"\u5FAE\u8F6F\u96C5\u9ED1", 14}}, {3, {L"\u5FAE\u8F6F\u96C5\u9ED1", 18}},
        {4, {L"\u5FAE\u8F6F\u96C5\u9ED1", 20}}, {10, {L"\u5FAE\u8F6F\u96C5\u9ED1", 16, true}},
    };
    EXPECT_EQ(fonts, expected);
    EXPECT_EQ(defaults, 1) << "font 0, and only it, is the default";
}

// ---------------------------------------------------------------------------------------------
// Dialogs and message boxes

const wchar_t* const kExit = L"downloaderbox.xml";
const wchar_t* const kDownloadError = L"downloaderrorbox.xml";
const wchar_t* const kInstallError = L"installbox.xml";
const wchar_t* const kBox = L"common/xml_messagebox.xml";
const wchar_t* const kIconBox = L"common/xml_messagebox_noicon.xml";
const wchar_t* const kBox2 = L"common/xml_messagebox2.xml";
const wchar_t* const kNotice = L"common/xml_traynotice.xml";

struct DialogNamed {
    std::vector<const wchar_t*> layouts;
    Named control;
};

const DialogNamed kDialogControls[] = {
    {{kExit, kBox, kIconBox, kBox2, kNotice}, {L"titlelabel", L"Label", kAnywhere, 0, L"@prompt"}},
    {{kDownloadError, kInstallError}, {L"titlelabel", L"Label", kAnywhere, 0, L"@MsgBox_error"}},
    {{kExit, kDownloadError, kInstallError, kBox, kIconBox, kBox2, kNotice},
     {L"closebtn", L"Button", kAnywhere, 0, nullptr, L"@close_tip"}},
    {{kExit}, {L"descriptlabel", L"Label", kAnywhere, kMarkup | kMultiline, L"@MsgBox_exit"}},
    {{kDownloadError},
     {L"descriptlabel", L"Label", kAnywhere, kMarkup | kMultiline, L"@downloading_error_tip"}},
    {{kInstallError},
     {L"descriptlabel", L"Label", kAnywhere, kMarkup | kMultiline, L"@install_error_tip2"}},
    {{kBox, kIconBox, kBox2, kNotice},
     {L"descriptlabel", L"Label", kAnywhere, kMarkup | kMultiline | kNoText}},
    {{kExit, kDownloadError, kInstallError, kBox, kIconBox, kBox2, kNotice},
     {L"bottombar", L"HorizontalLayout", kAnywhere, 0}},
    {{kExit}, {L"bottombar2", L"HorizontalLayout", kAnywhere, kHidden}},
    {{kExit}, {L"btnLeft", L"Button", kAnywhere, 0, L"@Yes"}},
    {{kExit}, {L"btnRight", L"Button", kAnywhere, 0, L"@No"}},
    {{kExit}, {L"btnSure", L"Button", kAnywhere, kHiddenRow, L"@Yes"}},
    {{kDownloadError}, {L"btnLeft", L"Button", kAnywhere, 0, L"@retry"}},
    {{kDownloadError}, {L"btnRight", L"Button", kAnywhere, 0, L"@downloadBybrowser"}},
    {{kInstallError}, {L"btnLeft", L"Button", kAnywhere, 0, L"@sure"}},
    {{kInstallError}, {L"btnRight", L"Button", kAnywhere, 0, L"@cancel"}},
    {{kDownloadError, kInstallError},
     {L"loadingContactUsBtn", L"Button", kAnywhere, 0, L"@customer_connect"}},
    {{kBox}, {L"msgiconimage", L"Control", kAnywhere, kHidden}},
    {{kIconBox}, {L"msgiconimage", L"Control", kAnywhere, 0}},
};

TEST(DialogLayouts, HaveEveryNamedControlOfItsKindAndState) {
    for (const DialogNamed& d : kDialogControls)
        for (const wchar_t* layout : d.layouts) {
            SCOPED_TRACE(narrow(layout));
            const Window window(layout);
            ASSERT_NE(window.manager.root(), nullptr);
            checkNamed(window, d.control);
        }
    // btnSure sits in the hidden second row.
    const Window exit(kExit);
    EXPECT_EQ(exit.find(L"btnSure")->parent(), exit.find(L"bottombar2"));
}

TEST(DialogLayouts, MessageBoxIconIsTheNoticeIconAt48AndTheButtonRowEndsInTwoSpacers) {
    for (const wchar_t* layout : {kBox, kIconBox, kBox2, kNotice}) {
        SCOPED_TRACE(narrow(layout));
        const Window window(layout);
        auto* bar = dynamic_cast<tk::Container*>(window.find(L"bottombar"));
        ASSERT_NE(bar, nullptr);
        ASSERT_GE(bar->childCount(), 2);
        // The box inserts each button before the last child: with two flexible spacers at the
        // end, the buttons sit centred, the first one left.
        for (int i = bar->childCount() - 2; i < bar->childCount(); ++i) {
            const tk::Control* spacer = bar->childAt(i);
            EXPECT_EQ(spacer->className(), L"Control") << "child " << i;
            EXPECT_EQ(spacer->name(), L"") << "child " << i;
            EXPECT_EQ(spacer->fixedWidth(), 0) << "child " << i;
            EXPECT_TRUE(spacer->ownVisible()) << "child " << i;
        }
        EXPECT_EQ(bar->childCount(), 2) << "the row holds nothing but the spacers";
    }
    for (const wchar_t* layout : {kBox, kIconBox}) {
        const Window window(layout);
        const tk::Control* icon = window.find(L"msgiconimage");
        ASSERT_NE(icon, nullptr);
        EXPECT_EQ(icon->fixedWidth(), 48);
        EXPECT_EQ(icon->fixedHeight(), 48);
        EXPECT_EQ(attributeOf(findNode(window.document->roots, L"msgiconimage"), L"bkimage"),
                  L"common/msg_noice48.png");
    }
}

// ---------------------------------------------------------------------------------------------
// Texts

TEST(LayoutTexts, EveryAtTextNamesAKeyOfTheTextTable) {
    const auto& entries = archiveEntries();
    const auto table = entries.find(L"multi_language.tsv");
    ASSERT_NE(table, entries.end());
    tk::TextTable texts;
    texts.setLanguage(L"en_US");
    ASSERT_TRUE(texts.loadFromBytes(table->second));
    int checked = 0;
    for (const wchar_t* file : kWindowLayouts) {
        const Window window(file);
        ASSERT_TRUE(window.document.has_value()) << narrow(file);
        forEachNode(window.document->roots, [&](const tk::LayoutNode& node) {
            for (const wchar_t* attribute : {L"text", L"tooltip"}) {
                const std::wstring* value = tk::findAttribute(node.attributes, attribute);
                if (!value || value->size() < 2 || (*value)[0] != L'@') continue;
                ++checked;
                EXPECT_TRUE(texts.find(value->substr(1)).has_value())
                    << narrow(file) << ": " << narrow(*value) << " is no key";
            }
        });
    }
    EXPECT_GT(checked, 30);
}

// ---------------------------------------------------------------------------------------------
// Images

// Image strings the program writes into controls (main window, dialogs, message boxes).
const wchar_t* const kProgramImages[] = {
    L"file='browse_button.png' source='0,0,28,28' corner='4,4,4,4'",
    L"file='browse_button.png' source='28,0,56,28' corner='4,4,4,4'",
    L"file='browse_button.png' source='56,0,84,28' corner='4,4,4,4'",
    L"file='error_edit_bg.png' source='0,0,10,10' corner='4,4,4,4'",
    L"file='common\\btn_bg_default.png' source='0,0,20,28' corner='6,6,6,6'",
    L"file='common\\btn_bg_default.png' source='20,0,40,28' corner='6,6,6,6'",
    L"file='common\\btn_bg_default.png' source='40,0,60,28' corner='6,6,6,6'",
    L"file='common\\btn_bg.png' source='0,0,20,28' corner='6,6,6,6'",
    L"file='common\\btn_bg.png' source='20,0,40,28' corner='6,6,6,6'",
    L"file='common\\btn_bg.png' source='40,0,60,28' corner='6,6,6,6'",
    L"file='button_box_cancel.png' source='0,0,100,32'",
    L"file='button_box_cancel.png' source='100,0,200,32'",
    L"file='button_box_cancel.png' source='200,0,300,32'",
    L"file='button_box_hot.png' source='0,0,100,32'",
    L"file='button_box_hot.png' source='100,0,200,32'",
    L"file='button_box_hot.png' source='200,0,300,32'",
    L"common/msg_noice48.png",
    L"common/msg_ok48.png",
    L"file='remote\\btn_32.png' source='16,0,32,32' corner='6,6,6,6'",
    L"file='remote\\btn_32.png' source='32,0,48,32' corner='6,6,6,6'",
    L"file='remote\\btn_32.png' source='48,0,64,32' corner='6,6,6,6'",
    L"file='remote\\btn_cancel.png' source='0,0,20,28' corner='6,6,6,6'",
    L"file='remote\\btn_cancel.png' source='20,0,40,28' corner='6,6,6,6'",
    L"file='remote\\btn_cancel.png' source='40,0,60,28' corner='6,6,6,6'",
};

// Every image string of the layouts: the values of the attributes named "...image".
std::vector<std::pair<std::wstring, std::wstring>> layoutImages() {
    std::vector<std::pair<std::wstring, std::wstring>> images;  // where, image string
    for (const wchar_t* file : kWindowLayouts) {
        const Window window(file);
        if (!window.document) continue;
        forEachNode(window.document->roots, [&](const tk::LayoutNode& node) {
            for (const auto& [attribute, value] : node.attributes)
                if (attribute.ends_with(L"image") && !value.empty())
                    images.emplace_back(std::wstring(file) + L" " + attribute, value);
        });
    }
    return images;
}

// The decoded image, or nothing.
tk::ImagePtr imageOf(const std::wstring& file) {
    const auto bytes = tk::skinStore().load(file);
    return bytes ? tk::decodeImage(bytes->data(), bytes->size()) : nullptr;
}

// The source rectangle lies inside the image, has an area, and holds its nine-grid corners.
void checkCut(const tk::ImageRef& ref, const tk::Image& image, const std::string& where) {
    const tk::Rect source = ref.source.value_or(tk::Rect{0, 0, image.width, image.height});
    EXPECT_GE(source.left, 0) << where;
    EXPECT_GE(source.top, 0) << where;
    EXPECT_LE(source.right, image.width) << where;
    EXPECT_LE(source.bottom, image.height) << where;
    EXPECT_GT(source.width(), 0) << where;
    EXPECT_GT(source.height(), 0) << where;
    EXPECT_LE(ref.corner.left + ref.corner.right, source.width()) << where << " corners";
    EXPECT_LE(ref.corner.top + ref.corner.bottom, source.height()) << where << " corners";
}

void checkImageString(const std::wstring& where, const std::wstring& text) {
    const std::string at = narrow(where) + ": " + narrow(text);
    const auto ref = tk::parseImageString(text);
    ASSERT_TRUE(ref.has_value()) << at << " does not parse";
    const tk::ImagePtr normal = imageOf(ref->file);
    ASSERT_NE(normal, nullptr) << at << ": no image " << narrow(ref->file);
    checkCut(*ref, *normal, at);
    const auto enlarged = tk::enlargedImage(*ref);
    ASSERT_TRUE(enlarged.has_value()) << at;
    const tk::ImagePtr twice = imageOf(enlarged->file);
    ASSERT_NE(twice, nullptr) << at << ": no enlarged image " << narrow(enlarged->file);
    EXPECT_EQ(twice->width, 2 * normal->width) << at;
    EXPECT_EQ(twice->height, 2 * normal->height) << at;
    checkCut(*enlarged, *twice, at + " (2x)");
    if (ref->source) {
        EXPECT_EQ(enlarged->source->width(), 2 * ref->source->width()) << at;
    }
}

TEST(SkinImages, EveryImageOfTheLayoutsIsThereAtBothScalesWithItsCells) {
    const auto images = layoutImages();
    EXPECT_GT(images.size(), 40u);
    for (const auto& [where, text] : images) checkImageString(where, text);
}

TEST(SkinImages, EveryImageTheProgramWritesIsThereAtBothScalesWithItsCells) {
    for (const wchar_t* text : kProgramImages) checkImageString(L"program", text);
}

// The program's sources name no image that the table above lacks: every ".png" name in a
// string of the windows' code is one of its files.
TEST(SkinImages, TheProgramNamesNoOtherImage) {
    std::set<std::wstring> known;
    for (const wchar_t* text : kProgramImages) {
        std::wstring file = tk::parseImageString(text)->file;
        for (wchar_t& c : file) c = c == L'\\' ? L'/' : c;
        known.insert(file);
    }
    const std::wstring folder = sourceFolder() + L"ui\\";
    WIN32_FIND_DATAW entry{};
    const HANDLE search = FindFirstFileW((folder + L"*.cpp").c_str(), &entry);
    ASSERT_NE(search, INVALID_HANDLE_VALUE) << narrow(folder);
    const std::regex png(R"re(([A-Za-z0-9_]+(\\\\|/))*[A-Za-z0-9_]+\.png)re");
    int files = 0, names = 0;
    do {
        ++files;
        const std::string source = testing_support::readFileBytes(folder + entry.cFileName);
        for (auto it = std::sregex_iterator(source.begin(), source.end(), png);
             it != std::sregex_iterator(); ++it, ++names) {
            std::string name = it->str();
            for (std::size_t at = name.find("\\\\"); at != std::string::npos;
                 at = name.find("\\\\"))
                name.replace(at, 2, "/");
            EXPECT_TRUE(known.contains(testing_support::widen(name)))
                << narrow(entry.cFileName) << " names " << name;
        }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    EXPECT_GT(files, 3);
    EXPECT_GE(names, 10);
}

}  // namespace

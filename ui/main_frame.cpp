#include "ui/main_frame.h"

#include <shlobj.h>

#include "engine/game_packages.h"
#include "engine/install_location.h"
#include "telemetry/event_catalogue.h"
#include "telemetry/tx_reporter.h"
#include "toolkit/combo.h"
#include "toolkit/container.h"
#include "toolkit/edit.h"
#include "toolkit/font_fallback.h"
#include "toolkit/skin_store.h"
#include "toolkit/text_table.h"
#include "ui/dialogs.h"
#include "ui/folder_advice.h"
#include "ui/message_box.h"
#include "ui/progress_display.h"
#include "utility/log.h"
#include "utility/process.h"
#include "utility/text.h"

namespace {

// The tip shown next; kept for the life of the process.
unsigned g_tipIndex = 0;

constexpr wchar_t kValidEditImages[3][64] = {
    L"file='browse_button.png' source='0,0,28,28' corner='4,4,4,4'",
    L"file='browse_button.png' source='28,0,56,28' corner='4,4,4,4'",
    L"file='browse_button.png' source='56,0,84,28' corner='4,4,4,4'"};
constexpr wchar_t kErrorEditImage[] =
    L"file='error_edit_bg.png' source='0,0,10,10' corner='4,4,4,4'";

std::wstring text(const char* key) {
    return tk::lookupText(key);
}

// The licence link: the text underlined, at most 255 characters in all.
std::wstring underlined(const std::wstring& value) {
    return (L"<u>" + value + L"</u>").substr(0, 255);
}

msg::MessageBoxButton button(const char* key, bool primary, std::function<void()> action = {}) {
    return msg::MessageBoxButton{text(key), std::move(action), primary};
}

}  // namespace

CMainFrame::CMainFrame() : model_(DownloaderModel::instance()) {}

CMainFrame::~CMainFrame() {
    stopGameThread();
    gameThread_.stop(1000);
    cancelTasks(this);
}

void CMainFrame::stopGameThread() {
    gameThread_.requestStop();
    fallbackDownloader_.abort();
    iconDownloader_.abort();
}

const tk::MessageMap* CMainFrame::messageMap() const {
    static const tk::MessageMapEntry entries[] = {
        tk::onNotify<&CMainFrame::onInstallNow>(L"click", L"installnowbtn"),
        tk::onNotify<&CMainFrame::onCustomPathOn>(L"click", L"userdefinitionBtn"),
        tk::onNotify<&CMainFrame::onCustomPathOff>(L"click", L"backBtn"),
        tk::onNotify<&CMainFrame::onPathEditKillFocus>(L"killfocus", L"pathedit"),
        tk::onNotify<&CMainFrame::onBrowseClicked>(L"click", L"browsebtn"),
        tk::onNotify<&CMainFrame::onLicenceLink>(L"click", L"protocollinkbtn"),
        tk::onNotify<&CMainFrame::onCustomerLink>(L"click", L"joinfacebookBtn"),
        tk::onNotify<&CMainFrame::onCloseClicked>(L"click", L"closebtn"),
        tk::onNotify<&CMainFrame::onHomepage>(L"click", L"homepageBtn"),
        tk::onNotify<&CMainFrame::onStartPlayer>(L"click", L"tastenowbtn"),
        tk::onNotify<&CMainFrame::onLicenceLink>(L"click", L"confirmprotocolbtn"),
        tk::onNotify<&CMainFrame::onLicenceOption>(L"selectchanged", L"acceptprotocolopt"),
        tk::onNotify<&CMainFrame::onLanguageComSelected>(L"itemselect", L"languageCombo"),
    };
    static const tk::MessageMap map{baseMessageMap(), std::begin(entries), std::end(entries)};
    return &map;
}

// ---- initialisation and the start page ----

void CMainFrame::bindControls(tk::ControlBinder& b) {
    b.require(c_.titlename, L"titlename");
    b.require(c_.languageCombo, L"languageCombo");
    b.require(c_.logoControl, L"logoControl");
    b.require(c_.logoControl9, L"logoControl9");
    b.require(c_.maintab, L"maintab");
    b.require(c_.userdefinitionsui, L"userdefinitionsui");
    b.require(c_.pathedit, L"pathedit");
    b.require(c_.browsebtn, L"browsebtn");
    b.require(c_.errorpathnoticeui, L"errorpathnoticeui");
    b.require(c_.pathErrorLabel, L"pathErrorLabel");
    b.require(c_.acceptprotocolopt, L"acceptprotocolopt");
    b.require(c_.LicenseAgreementText, L"LicenseAgreementText");
    b.require(c_.protocollinkbtn, L"protocollinkbtn");
    b.require(c_.userdefinitionLayout, L"userdefinitionLayout");
    b.require(c_.userdefinitionBtn, L"userdefinitionBtn");
    b.require(c_.backLayout, L"backLayout");
    b.require(c_.backBtn, L"backBtn");
    b.require(c_.installnowbtn, L"installnowbtn");
    b.require(c_.protocoledit, L"protocoledit");
    b.require(c_.confirmprotocolbtn, L"confirmprotocolbtn");
    b.require(c_.loadingprogresslabel, L"loadingprogresslabel");
    b.require(c_.installprogressbar, L"installprogressbar");
    b.require(c_.progress_install_label, L"progress_install_label");
    b.require(c_.progress_finish_label, L"progress_finish_label");
    b.require(c_.downloadProgressLabel, L"downloadProgressLabel");
    b.optional(c_.homepageBtn, L"homepageBtn");
    b.require(c_.tipInstallLabel, L"tipInstallLabel");
    b.require(c_.apkinstallprogresslabel, L"apkinstallprogresslabel");
    b.require(c_.apkinstallprogressbar, L"apkinstallprogressbar");
    b.require(c_.tastenowbtn, L"tastenowbtn");
}

void CMainFrame::initWindow() {
    applyLanguageFont();
    refreshPathState();
    setWindowTitle(text("Title_wndTitle"));
    c_.pathedit->setText(model_.installFolder());
    installModelCallbacks();
    languageCode_ = model_.locale();
    manager().setRightToLeft(tk::isRightToLeftLocale(languageCode_));
    showLogo();
    applyHomepage();
    c_.protocollinkbtn->setText(underlined(text("protocol_accept_btn")));
}

void CMainFrame::applyLanguageFont() {
    const std::wstring& face = model_.languageDescriptor().fontFace;
    const bool thai = tk::textTable().language() == L"th_TH";
    const int base = thai ? 13 : 12;
    static const int kSteps[] = {0, 2, 4, 6, 8, 10, 12, 16, 20};
    tk::FontTable& fonts = manager().fonts();
    fonts.setDefaultFont({face, base}, true);
    for (int id = 0; id < 9; ++id) fonts.addFont(id, {face, base + kSteps[id]}, true);
}

void CMainFrame::showLogo() {
    const bool nine = model_.config().isPlayer9();
    c_.logoControl9->setVisible(nine);
    c_.logoControl->setVisible(!nine);
}

void CMainFrame::applyHomepage() {
    if (auto* home = c_.homepageBtn) {
        home->setTextColor(0xFFFFFFFF);
        home->setText(model_.config().getHomePage());
    }
}

void CMainFrame::setCustomPathMode(bool on) {
    c_.userdefinitionsui->setVisible(on);
    c_.userdefinitionLayout->setVisible(!on);
    c_.backLayout->setVisible(on);
    c_.installnowbtn->setText(text(on ? "Button_install_now" : "Button_install_fast"));
}

void CMainFrame::reapplyMode() {
    setCustomPathMode(!c_.userdefinitionBtn->isVisible());
}

void CMainFrame::selectPage(int index) {
    c_.maintab->selectPage(index);
    reapplyMode();
}

void CMainFrame::refreshPathState() {
    const std::wstring& folder = model_.installFolder();
    const bool valid = install_location::isValidInstallPath(folder);
    auto* edit = c_.pathedit;
    if (edit->text() != folder) edit->setText(folder);
    c_.errorpathnoticeui->setVisible(!valid);
    c_.installnowbtn->setEnabled(valid && c_.acceptprotocolopt->isSelected());
    reapplyMode();
    edit->setNormalImage(valid ? kValidEditImages[0] : kErrorEditImage);
    edit->setHotImage(valid ? kValidEditImages[1] : kErrorEditImage);
    edit->setFocusedImage(valid ? kValidEditImages[2] : kErrorEditImage);
}

void CMainFrame::setInstallPath(const std::wstring& folder) {
    model_.setInstallPath(folder);
    refreshPathState();
}

void CMainFrame::changePathClac(bool checkSsd, const std::wstring& folder) {
    folder_advice::changePathClac(
        hwnd(), checkSsd, folder,
        folder_advice::modelHooks(model_, [this](const std::wstring& f) { setInstallPath(f); }));
}

bool CMainFrame::checkBeforeInstall() {
    const char* refusal = nullptr;
    if (!c_.acceptprotocolopt->isSelected())
        refusal = "MsgBox_accept_protocol";
    else if (!install_location::isValidInstallPath(model_.installFolder()))
        refusal = "MsgBox_error_path";
    else if (!model_.hasSpaceForInstall())
        refusal = "MsgBox_disk_notEnough";
    if (!refusal) return true;
    msg::showMessageBox(hwnd(), 2, text("MsgBox_error"), text(refusal), msg::confirmButton());
    return false;
}

void CMainFrame::onInstallNow(tk::Notification&) {
    if (!checkBeforeInstall()) return;
    selectPage(2);
    c_.languageCombo->setVisible(false);
    downloadStartTick_ = GetTickCount();
    model_.startDownloadPlayer(false);
    telemetry::report::startDownloader();
    model_.raise(telemetry::analytics::startDownloader(model_.openId()));
    if (model_.config().isPlayer9()) {
        tipsTimer_.start(5000, new MemberFuncRunable<CMainFrame>(this, &CMainFrame::showNextTip));
        showNextTip();
    }
}

void CMainFrame::showNextTip() {
    c_.tipInstallLabel->setText(text(progress_display::tipKey(g_tipIndex)));
    g_tipIndex = progress_display::nextTip(g_tipIndex);
}

void CMainFrame::onPathEditKillFocus(tk::Notification& n) {
    changePathClac(true, n.sender ? n.sender->text() : std::wstring());
}

void CMainFrame::onBrowseClicked(tk::Notification&) {
    if (model_.installFolder().empty()) return openFolderBrowser();
    msg::showMessageBoxWithIcon(hwnd(), L"", text("MSGBox_noice"), text("change_path_tip"),
                                button("sure", false, [this] { openFolderBrowser(); }),
                                button("cancel", true));
}

void CMainFrame::openFolderBrowser() {
    const std::wstring title = text("Label_choice_path");
    BROWSEINFOW info{};
    info.hwndOwner = hwnd();
    info.lpszTitle = title.c_str();
    info.ulFlags = 0x51;  // file-system folders only, with an edit box, new dialog style
    info.lpfn = [](HWND dialog, UINT message, LPARAM, LPARAM) -> int {
        if (message == BFFM_INITIALIZED)
            SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(L"C:"));
        return 0;
    };
    const tk::WindowLiveness live = liveness();
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
    if (!chosen) return;
    wchar_t path[MAX_PATH + 1] = {};
    const bool ok = SHGetPathFromIDListW(chosen, path);
    CoTaskMemFree(chosen);
    // The browser runs its own message loop, in which the window may have been closed.
    if (ok && live.window()) changePathClac(true, path);
}

void CMainFrame::onLicenceLink(tk::Notification&) {
    utility::process::openUrl(model_.config().getLicensePageUrl());
}

void CMainFrame::onCustomerLink(tk::Notification&) {
    openCustomerLink(modelDialogServices());
}

void CMainFrame::onHomepage(tk::Notification&) {
    utility::process::openUrl(model_.config().getHomePage());
    model_.raise(telemetry::analytics::downloadGoogleDriver());
}

void CMainFrame::onStartPlayer(tk::Notification&) {
    model_.startPlayer();
    showWindow(false, false);
    quit();
}

void CMainFrame::onCloseClicked(tk::Notification&) {
    // The stage is over and failed: the install error dialog's answers are the ways out.
    if (installFailed_) return showInstallErrorBox();
    if (percent_ == 100) {
        msg::showMessageBox(hwnd(), 0, text("MSGBox_noice"), text("installing_exit_tip"),
                            button("sure", true));
        return;
    }
    if (downloadStartTick_ == 0) {
        showExitDialog(hwnd());
        return;
    }
    const DWORD seconds = (GetTickCount() - downloadStartTick_) / 1000;
    auto leave = [this, seconds](bool browser) {
        ConfigImp& config = model_.config();
        if (browser) utility::process::openUrl(config.getBrowserDownloadUrl());
        model_.raise(telemetry::analytics::cancelDownloadDownloading(model_.openId()));
        telemetry::report::cancelDownloadSlowTip(percent_, seconds,
                                                 telemetry::downloadUrlOf(config),
                                                 telemetry::transferClientOf(config));
        showWindow(false, false);
        quit();
    };
    msg::showMessageBox(hwnd(), 0, text("MSGBox_noice"), text("download_slowtip"),
                        button("download_close", false, [leave] { leave(false); }),
                        button("downloadBybrowser", true, [leave] { leave(true); }));
}

void CMainFrame::quit() {
    PostQuitMessage(0);
}

// ---- model notifications ----

void CMainFrame::installModelCallbacks() {
    model_.onDownloadProgress = [this](int p, int received, int total) {
        onDownloadProgress(p, received, total);
    };
    model_.onDownloadPercent = [this](int p) { onDownloadPercent(p); };
    model_.onDownloadFinished = [this] { onDownloadFinished(); };
    model_.onDownloadFailed = [this](std::int64_t received) { onDownloadFailed(received); };
    model_.onInstallFinished = [this](bool success) { onInstallFinished(success); };
}

progress_display::Texts CMainFrame::progressTexts() const {
    return {text("Label_downloading"), text("Label_getversion_info")};
}

bool CMainFrame::arabic() const {
    return model_.config().getLanguage() == L"ar";
}

void CMainFrame::showProgress(const progress_display::Shown& shown) {
    c_.downloadProgressLabel->setVisible(shown.sizesVisible);
    if (shown.sizes) c_.downloadProgressLabel->setText(*shown.sizes);
    if (shown.stage) c_.loadingprogresslabel->setText(*shown.stage);
    if (shown.bar) c_.installprogressbar->setValue(*shown.bar);
    if (shown.percent) percent_ = *shown.percent;
}

void CMainFrame::onDownloadPercent(int percent) {
    showProgress(progress_display::forPercent(percent, arabic(), progressTexts()));
}

void CMainFrame::onDownloadProgress(int percent, int received, int total) {
    showProgress(
        progress_display::forProgress(percent, received, total, arabic(), progressTexts()));
}

void CMainFrame::onDownloadFinished() {
    c_.loadingprogresslabel->setText(text("Label_installing_waiting"));
    c_.downloadProgressLabel->setVisible(false);
    installTimer_.stop();
    percent_ = 100;
    model_.installPlayer();
    installTimer_.start(
        1500, new MemberFuncRunable<CMainFrame>(this, &CMainFrame::onInstallAnimationTick));
    installStep_ = 0;
}

void CMainFrame::onInstallAnimationTick() {
    c_.installprogressbar->setValue(progress_display::installAnimationTick(installStep_));
}

void CMainFrame::onDownloadFailed(std::int64_t received) {
    if (received != 0) return showDownloadErrorBox();
    const std::wstring browser = model_.config().getBrowserDownloadUrl();
    msg::showMessageBox(hwnd(), 0, text("MSGBox_noice"), text("download_error_tip2"),
                        button("Yes", true,
                               [this, browser] {
                                   utility::process::openUrl(browser);
                                   quit();
                               }),
                        button("No", false, [this] { quit(); }));
}

void CMainFrame::onInstallFinished(bool success) {
    installTimer_.stop();
    const bool reported = model_.installerReportedFailure();
    LOG_AT("CMainFrame::onInstallFinished", L"install stage ended, in time %d, failure reported %d",
           success ? 1 : 0, reported ? 1 : 0);
    if (!success || reported) {
        installFailed_ = true;
        return showInstallErrorBox();
    }
    c_.installprogressbar->setValue(100);
    const std::vector<GameRecord> games = model_.games();
    if (games.empty()) {
        const std::wstring page = model_.config().getHomePage2();
        if (!model_.emulatorPresent() && !page.empty()) {
            utility::process::openUrl(page);
            telemetry::report::jumpToWeb();
        }
        model_.startPlayer();
        return quit();
    }
    const GameRecord& first = games.front();
    switch (game_packages::handOverOf(first)) {
        case game_packages::HandOver::kAppStore:
            model_.runPlayer(game_packages::appStoreArguments(first));
            return quit();
        case game_packages::HandOver::kGameId:
            model_.runPlayer(game_packages::gameIdArguments(first));
            return quit();
        case game_packages::HandOver::kDownloadHere:
            return startGamePackages(first);
        case game_packages::HandOver::kPackage:
            model_.runPlayer(game_packages::packageArguments(first));
            return quit();
    }
}

void CMainFrame::showInstallErrorBox() {
    if (!showOneDialog(installErrorBox_, hwnd()))
        LOG_AT("CMainFrame::showInstallErrorBox", L"install error dialog not created");
}

void CMainFrame::showDownloadErrorBox() {
    if (!showOneDialog(downloadErrorBox_, hwnd()))
        LOG_AT("CMainFrame::showDownloadErrorBox", L"download error dialog not created");
}

void CMainFrame::refreshPathAndLogo() {
    c_.pathedit->setText(model_.installFolder());
    showLogo();
    refreshPathState();
}

void CMainFrame::retextWindow() {
    static const std::pair<tk::Control * Controls::*, const char*> kTexts[] = {
        {&Controls::progress_install_label, "progress_install_label"},
        {&Controls::progress_finish_label, "progress_finish_label"},
        {&Controls::loadingprogresslabel, "progress_downloading_label"},
        {&Controls::pathErrorLabel, "Label_path_error"},
        {&Controls::LicenseAgreementText, "protocol_accept"},
        {&Controls::protocollinkbtn, "protocol_accept_btn"},
        {&Controls::tastenowbtn, "Button_start_player"},
        {&Controls::confirmprotocolbtn, "sure"},
        {&Controls::installnowbtn, "Button_install_fast"},
        {&Controls::userdefinitionBtn, "Button_install_define"},
        {&Controls::backBtn, "Button_install_back"},
        {&Controls::browsebtn, "browser"},
    };
    for (const auto& [control, key] : kTexts) (c_.*control)->setText(text(key));
    applyHomepage();
}

void CMainFrame::onLanguageComSelected(tk::Notification& n) {
    tk::Control* item = c_.languageCombo->itemAt(n.index);
    if (!item) return;
    languageCode_ = item->userData();
    // The window reads in the chosen language's direction from now on.
    manager().setRightToLeft(tk::isRightToLeftLocale(languageCode_));
    model_.setLocale(languageCode_);
    model_.config().setLanguage(model_.language());
    static const wchar_t* kCodes[] = {L"cn", L"tw", L"kr", L"vn", L"th", L"ru", L"pt", L"fr",
                                      L"jp", L"es", L"id", L"ar", L"fa", L"tr", L"de"};
    std::wstring code = L"en";
    for (const wchar_t* c : kCodes)
        if (model_.config().getLanguage() == c) code = c;
    const std::wstring resource = L"language\\downloader_" + code + L".xml";
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt > 0) SwitchToThread();
        LOG_AT("CMainFrame::onLanguageComSelected", L"load language %s", resource.c_str());
        const auto bytes = tk::skinStore().load(resource);
        if (!bytes) {
            LOG_AT("CMainFrame::onLanguageComSelected", L"get resource error. %d",
                   static_cast<int>(GetLastError()));
            continue;
        }
        const std::string utf8(bytes->begin(), bytes->end());
        if (model_.loadLanguage(utility::utf8ToWide(utf8))) break;
    }
    setWindowTitle(text("Title_wndTitle"));
    c_.titlename->setText(text("titlename"));
    c_.protocoledit->setText(L"");
    c_.confirmprotocolbtn->setText(text("accept_protocol"));
    retextWindow();
}

// ---- native messages and teardown ----

LRESULT CMainFrame::handleCustomMessage(UINT message, WPARAM wParam, LPARAM, bool& handled) {
    handled = false;
    if (message == WM_TIMER && wParam == game_packages::kInstallTimerId) {
        handled = true;
        onGameInstallTick();
    }
    return 0;
}

LRESULT CMainFrame::onDestroy(WPARAM, LPARAM, bool& handled) {
    handled = false;
    if (gameTimerId_ != 0) KillTimer(hwnd(), gameTimerId_), gameTimerId_ = 0;
    stopGameThread();
    model_.stop();
    DownloaderModel::destroyInstance();
    cancelTasks(this);
    fallbackDownloader_.abort();
    return 0;
}

void CMainFrame::onFinalMessage(HWND) {
    tipsTimer_.stop();
    if (onGone) onGone();
    delete this;
    PostQuitMessage(0);
}

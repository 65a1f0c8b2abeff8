#include "ui/dialogs.h"

#include <iterator>
#include <memory>
#include <utility>

#include "engine/downloader_model.h"
#include "telemetry/event_catalogue.h"
#include "telemetry/tx_reporter.h"
#include "toolkit/control.h"
#include "toolkit/text_table.h"
#include "utility/process.h"

namespace {

class ModelDialogServices final : public DialogServices {
public:
    std::wstring openId() const override { return model().openId(); }
    std::wstring installErrorText() const override { return model().installErrorText(); }
    std::wstring customerLink() const override { return model().customerLink(); }
    std::wstring browserDownloadUrl() const override {
        return model().config().getBrowserDownloadUrl();
    }
    void startDownloadPlayer(bool resume) override { model().startDownloadPlayer(resume); }
    vadi::GoogleAnalytics& analytics() override { return model().analytics(); }
    TxReporter& reporter() override { return TxReporter::instance(); }
    void openUrl(const std::wstring& url) override { utility::process::openUrl(url); }

private:
    static DownloaderModel& model() { return DownloaderModel::instance(); }
};

// The one open exit dialog.
DownloaderBox*& currentExitDialog() {
    static DownloaderBox* box = nullptr;
    return box;
}

void setImages(tk::Button& button, const std::wstring& file) {
    button.setNormalImage(L"file='" + file + L"' source='0,0,100,32'");
    button.setHotImage(L"file='" + file + L"' source='100,0,200,32'");
    button.setPushedImage(L"file='" + file + L"' source='200,0,300,32'");
}

// Gives the parent back once its exit dialog is gone, unless a newer dialog replaced this one.
void onExitDialogClosed(DownloaderBox& box) {
    if (currentExitDialog() != &box) return;
    currentExitDialog() = nullptr;
    HWND parent = box.parentWindow();
    if (!parent) return;
    EnableWindow(parent, TRUE);
    // The user left: the window stays hidden until the run ends.
    if (box.leaving()) return;
    utility::process::bringWindowToFront(parent);
    ShowWindow(parent, SW_SHOW);
}

}  // namespace

DialogServices& modelDialogServices() {
    static ModelDialogServices services;
    return services;
}

std::wstring customerLinkAddress(const std::wstring& serviceLink) {
    return serviceLink.empty() ? tk::lookupText("customerLink") : serviceLink;
}

void openCustomerLink(DialogServices& services) {
    services.openUrl(customerLinkAddress(services.customerLink()));
}

// ---- DownloaderBox ----

namespace {
const tk::MessageMapEntry kDownloaderBoxEntries[] = {
    tk::onNotify<&DownloaderBox::onLeave>(L"click", L"btnLeft"),
    tk::onNotify<&DownloaderBox::onStay>(L"click", L"btnRight"),
    tk::onNotify<&DownloaderBox::onStay>(L"click", L"btnSure"),
};
const tk::MessageMap kDownloaderBoxMap{tk::WindowBase::baseMessageMap(),
                                       std::begin(kDownloaderBoxEntries),
                                       std::end(kDownloaderBoxEntries)};
}  // namespace

DownloaderBox::DownloaderBox(std::function<void()> closed, DialogServices& services)
    : closed_(std::move(closed)), services_(services) {}

DownloaderBox::~DownloaderBox() = default;

const tk::MessageMap* DownloaderBox::messageMap() const {
    return &kDownloaderBoxMap;
}

bool DownloaderBox::open(HWND parent) {
    if (!create(parent)) return false;
    applyTexts();
    parent_ = parent;
    centerWindow();
    showWindow(true, true);
    if (parent_) EnableWindow(parent_, FALSE);
    return true;
}

void DownloaderBox::bindControls(tk::ControlBinder& binder) {
    binder.require(title_, L"titlelabel");
    binder.require(text_, L"descriptlabel");
    binder.require(left_, L"btnLeft");
    binder.require(right_, L"btnRight");
    binder.optional(sure_, L"btnSure");
}

void DownloaderBox::applyTexts() {
    title_->setText(tk::lookupText("MSGBox_noice"));
    left_->setText(tk::lookupText("Yes"));
    right_->setText(tk::lookupText("No"));
    if (sure_) sure_->setText(tk::lookupText("Yes"));
    text_->setText(tk::lookupText("MsgBox_exit"));
    setImages(*left_, L"button_box_cancel.png");
    setImages(*right_, L"button_box_hot.png");
}

void DownloaderBox::onLeave(tk::Notification&) {
    leaving_ = true;
    showWindow(false);
    const std::wstring openId = services_.openId();
    telemetry::deliver(services_.analytics(), telemetry::analytics::userCancel(openId));
    close(1);
    if (parent_) {
        // Minimising shows a hidden window again, so the window is hidden after it.
        ShowWindow(parent_, SW_MINIMIZE);
        ShowWindow(parent_, SW_HIDE);
    }
    telemetry::deliver(services_.analytics(), telemetry::analytics::cancelDownload(openId));
    telemetry::report::cancelDownloadNotDownload(services_.reporter());
    PostQuitMessage(0);
}

void DownloaderBox::onStay(tk::Notification&) {
    close(1);
}

void DownloaderBox::onFinalMessage(HWND) {
    if (const auto closed = std::move(closed_)) closed();
    delete this;
}

DownloaderBox* showExitDialog(HWND parent, DialogServices& services) {
    if (DownloaderBox* open = currentExitDialog()) open->close(1);
    auto self = std::make_shared<DownloaderBox*>(nullptr);
    auto* box = new DownloaderBox([self] { onExitDialogClosed(**self); }, services);
    *self = box;
    currentExitDialog() = box;
    if (!box->open(parent)) {
        currentExitDialog() = nullptr;
        delete box;
        return nullptr;
    }
    return box;
}

// ---- error dialogs ----

ErrorBox::ErrorBox(std::function<void()> closed, DialogServices& services)
    : services_(services), closed_(std::move(closed)) {}

void ErrorBox::bindControls(tk::ControlBinder& binder) {
    binder.require(text_, L"descriptlabel");
    binder.require(left_, L"btnLeft");
    binder.require(right_, L"btnRight");
    binder.optional(contactUs_, L"loadingContactUsBtn");
}

void ErrorBox::onCustomerLink(tk::Notification&) {
    openCustomerLink(services_);
}

void ErrorBox::onFinalMessage(HWND) {
    if (const auto closed = std::move(closed_)) closed();
    delete this;
}

namespace {
const tk::MessageMapEntry kDownloaderErrorEntries[] = {
    tk::onNotify<&TxDownloaderErrorBox::onRetry>(L"click", L"btnLeft"),
    tk::onNotify<&TxDownloaderErrorBox::onBrowser>(L"click", L"btnRight"),
    tk::onNotify<&TxDownloaderErrorBox::onCustomerLink>(L"click", L"loadingContactUsBtn"),
};
const tk::MessageMap kDownloaderErrorMap{tk::WindowBase::baseMessageMap(),
                                         std::begin(kDownloaderErrorEntries),
                                         std::end(kDownloaderErrorEntries)};

const tk::MessageMapEntry kInstallErrorEntries[] = {
    tk::onNotify<&TxInstallErrorBox::onQuit>(L"click", L"btnLeft"),
    tk::onNotify<&TxInstallErrorBox::onCloseAndQuit>(L"click", L"btnRight"),
    tk::onNotify<&TxInstallErrorBox::onCloseAndQuit>(L"click", L"btnSure"),
    tk::onNotify<&TxInstallErrorBox::onCustomerLink>(L"click", L"loadingContactUsBtn"),
};
const tk::MessageMap kInstallErrorMap{tk::WindowBase::baseMessageMap(),
                                      std::begin(kInstallErrorEntries),
                                      std::end(kInstallErrorEntries)};
}  // namespace

TxDownloaderErrorBox::TxDownloaderErrorBox(std::function<void()> closed, DialogServices& services)
    : ErrorBox(std::move(closed), services) {}

const tk::MessageMap* TxDownloaderErrorBox::messageMap() const {
    return &kDownloaderErrorMap;
}

void TxDownloaderErrorBox::onRetry(tk::Notification&) {
    services_.startDownloadPlayer(true);
    close(1);
}

void TxDownloaderErrorBox::onBrowser(tk::Notification&) {
    services_.openUrl(services_.browserDownloadUrl());
    close(1);
    PostQuitMessage(0);
}

TxInstallErrorBox::TxInstallErrorBox(std::function<void()> closed, DialogServices& services)
    : ErrorBox(std::move(closed), services) {}

const tk::MessageMap* TxInstallErrorBox::messageMap() const {
    return &kInstallErrorMap;
}

void TxInstallErrorBox::initWindow() {
    const std::wstring text = services_.installErrorText();
    if (!text.empty()) text_->setText(text);
}

void TxInstallErrorBox::onQuit(tk::Notification&) {
    PostQuitMessage(0);
}

void TxInstallErrorBox::onCloseAndQuit(tk::Notification&) {
    close(1);
    PostQuitMessage(0);
}

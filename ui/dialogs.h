// The three fixed dialogs: the exit confirmation before any download (DownloaderBox), the
// download error dialog and the install error dialog. Each runs its "closed" callback once its
// window is gone and then deletes itself. UI thread only.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>

#include "toolkit/window_base.h"

class TxReporter;
namespace vadi {
class GoogleAnalytics;
}

// What the dialogs need of the run: the model's values and operations, telemetry and the browser.
class DialogServices {
public:
    virtual ~DialogServices() = default;
    virtual std::wstring openId() const = 0;
    virtual std::wstring installErrorText() const = 0;
    // The customer link the service sent; empty when it sent none.
    virtual std::wstring customerLink() const = 0;
    virtual std::wstring browserDownloadUrl() const = 0;
    virtual void startDownloadPlayer(bool resume) = 0;
    virtual vadi::GoogleAnalytics& analytics() = 0;
    virtual TxReporter& reporter() = 0;
    virtual void openUrl(const std::wstring& url) = 0;
};

// The services of the process: the downloader model, the reporter and the default browser.
DialogServices& modelDialogServices();

// The customer-service address: the service's link when there is one, else the text table's.
std::wstring customerLinkAddress(const std::wstring& serviceLink);
// Opens the customer-service address in the default browser.
void openCustomerLink(DialogServices& services);

// The exit confirmation shown when the user closes the main window before any download.
class DownloaderBox : public tk::WindowBase {
public:
    DownloaderBox(std::function<void()> closed, DialogServices& services);
    ~DownloaderBox() override;

    // Creates the dialog owned by the parent, sets its texts and images, centres and shows it,
    // then disables the parent. False when the window could not be made.
    bool open(HWND parent);
    HWND parentWindow() const { return parent_; }
    // True once the user chose to leave.
    bool leaving() const { return leaving_; }

    void onLeave(tk::Notification&);
    void onStay(tk::Notification&);

protected:
    std::wstring windowClassName() const override { return L"box"; }
    UINT classStyle() const override { return CS_VREDRAW | CS_HREDRAW; }
    std::wstring skinFile() const override { return L"downloaderbox.xml"; }
    void bindControls(tk::ControlBinder& binder) override;
    void onFinalMessage(HWND hwnd) override;
    const tk::MessageMap* messageMap() const override;

private:
    void applyTexts();

    std::function<void()> closed_;
    DialogServices& services_;
    HWND parent_ = nullptr;
    bool leaving_ = false;
    // The named controls of the layout; btnSure is optional.
    tk::Control* title_ = nullptr;
    tk::Control* text_ = nullptr;
    tk::Button* left_ = nullptr;
    tk::Button* right_ = nullptr;
    tk::Button* sure_ = nullptr;
};

// Opens the exit dialog over the parent, closing one that is open; the dialog's end gives the
// parent back (enabled, on top, shown) unless the user left. Returns the dialog, valid until it
// closes; null when it could not be made.
DownloaderBox* showExitDialog(HWND parent, DialogServices& services = modelDialogServices());

// What the two error dialogs share: the customer link and the end of the dialog.
class ErrorBox : public tk::WindowBase {
public:
    ErrorBox(std::function<void()> closed, DialogServices& services);

    void onCustomerLink(tk::Notification&);

protected:
    UINT classStyle() const override { return CS_VREDRAW | CS_HREDRAW; }
    // The text and the two answers are required; the customer link is optional.
    void bindControls(tk::ControlBinder& binder) override;
    void onFinalMessage(HWND hwnd) override;

    DialogServices& services_;
    tk::Control* text_ = nullptr;
    tk::Control* left_ = nullptr;
    tk::Control* right_ = nullptr;
    tk::Control* contactUs_ = nullptr;

private:
    std::function<void()> closed_;
};

// Shown when the download failed after some bytes had arrived: retry, browser, customer link.
// The main window creates it (create, centre, show) and keeps it until its closed callback.
class TxDownloaderErrorBox : public ErrorBox {
public:
    explicit TxDownloaderErrorBox(std::function<void()> closed,
                                  DialogServices& services = modelDialogServices());

    void onRetry(tk::Notification&);
    void onBrowser(tk::Notification&);

protected:
    std::wstring windowClassName() const override { return L"downloadErrorBox"; }
    std::wstring skinFile() const override { return L"downloaderrorbox.xml"; }
    const tk::MessageMap* messageMap() const override;
};

// Shown when the installer failed: quit, close and quit, customer link. The service's install
// help text, when it sent one, replaces the layout's message.
class TxInstallErrorBox : public ErrorBox {
public:
    explicit TxInstallErrorBox(std::function<void()> closed,
                               DialogServices& services = modelDialogServices());

    void onQuit(tk::Notification&);
    void onCloseAndQuit(tk::Notification&);

protected:
    std::wstring windowClassName() const override { return L"TxInstallErrorBox"; }
    std::wstring skinFile() const override { return L"installbox.xml"; }
    void initWindow() override;
    const tk::MessageMap* messageMap() const override;
};

// Shows the one dialog of its kind over the parent, creating and centring it first when none is
// open; the dialog clears the reference when it closes. A dialog whose window could not be made
// is released and the reference cleared, so that a later request tries again; null then.
template <class Box>
Box* showOneDialog(Box*& box, HWND parent, DialogServices& services = modelDialogServices()) {
    if (!box) {
        box = new Box([&box] { box = nullptr; }, services);
        if (!box->create(parent, 0, 0)) {
            // A window whose creation failed runs no end hooks: it is the caller's to delete.
            delete std::exchange(box, nullptr);
            return nullptr;
        }
        box->centerWindow();
    }
    box->showWindow(true, true);
    return box;
}

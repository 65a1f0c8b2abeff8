// Controls that take typed text or show long text: Edit hosts a native edit control while it has
// the focus (caret, selection, clipboard and IME come from the system) and draws its text itself
// otherwise; RichEdit shows read-only, wrapped text that scrolls. UI thread only.
#pragma once

#include "toolkit/control.h"

namespace tk {

class Edit : public Label {
public:
    Edit();
    ~Edit() override;
    std::wstring_view className() const override { return L"Edit"; }
    static const AttributeTable& classAttributes();
    const AttributeTable& attributeTable() const override { return classAttributes(); }
    bool isFocusable() const override { return isEnabled() && !readOnly_; }
    bool isInteractive() const override { return true; }
    bool wantsHandCursor() const override { return false; }
    void onFocus(bool focused) override;
    void onButtonDown(Point point) override;
    void arrange(const Rect& rect) override;
    void mirrorPlacement(const Rect& window) override;
    AccessibleInfo accessible() const override;
    unsigned accessibleState() const override;

    void setNormalImage(const std::wstring& image) { normalImage_ = image, invalidate(); }
    void setHotImage(const std::wstring& image) { hotImage_ = image, invalidate(); }
    void setFocusedImage(const std::wstring& image) { focusedImage_ = image, invalidate(); }
    // The native edit while the control is being edited (or nothing).
    HWND host() const { return host_; }
    // Colours of the native edit, answered to WM_CTLCOLOREDIT by the window.
    HBRUSH hostBrush(HDC dc) const;

protected:
    void paintStatusImage(Canvas& canvas) override;
    void paintText(Canvas& canvas) override;

private:
    static LRESULT CALLBACK hostProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void beginEditing();
    // Takes the typed text back and removes the native edit; "killfocus" follows, posted.
    void endEditing();
    Rect hostRect() const;
    void placeHost();

    std::wstring normalImage_, hotImage_, focusedImage_, disabledImage_;
    Argb nativeBkColor_ = 0xFFFFFFFF;
    bool readOnly_ = false;
    bool password_ = false;
    int maxChars_ = 255;
    HWND host_ = nullptr;
    WNDPROC hostDefault_ = nullptr;
    HBRUSH brush_ = nullptr;
    bool ending_ = false;
};

class RichEdit : public Label {
public:
    RichEdit();
    std::wstring_view className() const override { return L"RichEdit"; }
    static const AttributeTable& classAttributes();
    const AttributeTable& attributeTable() const override { return classAttributes(); }
    void setText(const std::wstring& text) override;
    bool isFocusable() const override { return isEnabled(); }
    bool wantsHandCursor() const override { return false; }
    void onMouseWheel(int delta) override;
    bool onKeyDown(WPARAM key) override;
    void arrange(const Rect& rect) override;
    AccessibleInfo accessible() const override;
    unsigned accessibleState() const override;
    int scrollOffset() const { return scroll_; }

protected:
    void paintText(Canvas& canvas) override;

private:
    void scrollBy(int pixels);
    int contentHeight();

    int scroll_ = 0;
    int contentHeight_ = -1;  // device pixels; -1 until measured for the current width
};

}  // namespace tk

// "STATIC_HYPER": a line of underlined blue text that shows a pointing hand and opens its
// text through the shell when clicked.
#pragma once

#include <windows.h>

#include <string>

// Registers the window class and finds the hand cursor; one process-wide object, built
// before WinMain in every run mode.
class HyperLinkClass {
  public:
    HyperLinkClass();
    ~HyperLinkClass();
    HyperLinkClass(const HyperLinkClass&) = delete;
    HyperLinkClass& operator=(const HyperLinkClass&) = delete;

  private:
    // Loaded only to take the fallback hand cursor from it.
    HMODULE cursorLibrary = nullptr;
};

class HyperLink {
  public:
    HyperLink() = default;
    virtual ~HyperLink();
    HyperLink(const HyperLink&) = delete;
    HyperLink& operator=(const HyperLink&) = delete;

    // Creates the control over `rect` (parent client coordinates). A null `text` keeps the
    // text the object already has. False when the window could not be made.
    bool create(const RECT& rect, const char* text, HWND parent);

    const std::string& text() const { return text_; }
    HWND window() const { return window_; }

  private:
    std::string text_;
    HWND window_ = nullptr;
};

extern const char hyperLinkClassName[];
// The pointing hand, or null when neither the system nor the fallback library has one.
extern HCURSOR handCursor;
// The program's one link: the home page in the settings dialog.
extern HyperLink hyperLink;

// What a click does: the shell opens the text; a failure only beeps.
void openLinkTarget(const std::string& target);

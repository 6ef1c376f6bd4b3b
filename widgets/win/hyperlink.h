// "STATIC_HYPER": a line of underlined blue text that shows a pointing hand and opens its
// text through the shell when clicked.
#pragma once

#include <windows.h>

#include <string>

// Registers the window class with the hand as its cursor, where the window procedure finds
// it; one process-wide object, built before WinMain in every run mode.
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

// A link whose text this object keeps. The window finds it through its user data.
class HyperLink {
  public:
    HyperLink() = default;
    explicit HyperLink(const char* text) : text_(text) {}
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

// Creates a link that owns its text: made at the window's creation, freed with the window.
// Null when the window could not be made.
HWND createOwnedHyperLink(const RECT& rect, const char* text, HWND parent);

// The settings dialog's way to make its one link, the home page; it keeps no state, the
// link's window owns it.
struct HyperLinkMaker {
    bool create(const RECT& rect, const char* text, HWND parent) const {
        return createOwnedHyperLink(rect, text, parent) != nullptr;
    }
};
constexpr HyperLinkMaker hyperLink{};

extern const char hyperLinkClassName[];
// The pointing hand the link class shows, or null when neither the system nor the fallback
// library has one.
HCURSOR hyperLinkCursor();

// What a click does: the shell opens the text; a failure only beeps.
void openLinkTarget(const std::string& target);

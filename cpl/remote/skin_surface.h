#pragma once
// The skin operations the remote-control page needs from the main dialog,
// addressed by element name. A name that matches no element does nothing.

#include <windows.h>

class RmctSkinSurface {
public:
    virtual void ShowLabel(const char* name, BOOL visible) = 0;
    virtual void SetLabelText(const char* name, const char* text) = 0;
    virtual void EnableButton(const char* name, BOOL enabled) = 0;
    virtual void SetButtonCheck(const char* name, BOOL latched) = 0;

protected:
    ~RmctSkinSurface() = default;
};

// Forwards to any skin dialog that offers the same operations by name, so
// the main dialog hands itself to the page as `RmctSkinOf<Dialog>(*this)`.
template <typename Skin>
class RmctSkinOf final : public RmctSkinSurface {
public:
    explicit RmctSkinOf(Skin& skin) : skin_(skin) {}
    void ShowLabel(const char* name, BOOL visible) override { skin_.ShowLabel(name, visible); }
    void SetLabelText(const char* name, const char* text) override {
        skin_.SetLabelText(name, text);
    }
    void EnableButton(const char* name, BOOL enabled) override {
        skin_.EnableButton(name, enabled);
    }
    void SetButtonCheck(const char* name, BOOL latched) override {
        skin_.SetButtonCheck(name, latched);
    }

private:
    Skin& skin_;
};

#pragma once
// Records the page's skin calls in order, as "Operation NAME value"; the
// getters record too and find nothing latched, as for an unknown name.

#include <string>
#include <vector>

#include "cpl/skin/skin_surface.h"

namespace remote_test {

class FakeSkin final : public skin::SkinSurface {
public:
    void ShowButton(const char* name, BOOL visible) override { Add("ShowButton", name, visible); }
    void EnableButton(const char* name, BOOL enabled) override {
        Add("EnableButton", name, enabled);
    }
    void SetButtonCheck(const char* name, BOOL latched) override {
        Add("SetButtonCheck", name, latched);
    }
    int GetButtonCheck(const char* name) const override {
        Add("GetButtonCheck", name, "");
        return 0;
    }
    void ShowSlider(const char* name, BOOL visible) override { Add("ShowSlider", name, visible); }
    void SetSliderPos(const char* name, int value) override {
        Add("SetSliderPos", name, std::to_string(value));
    }
    int GetSliderPos(const char* name) const override {
        Add("GetSliderPos", name, "");
        return 0;
    }
    void ShowLabel(const char* name, BOOL visible) override { Add("ShowLabel", name, visible); }
    void SetLabelText(const char* name, const char* text) override {
        Add("SetLabelText", name, text);
    }
    mutable std::vector<std::string> calls;

private:
    void Add(const char* op, const char* name, BOOL flag) const { Add(op, name, flag ? "1" : "0"); }
    void Add(const char* op, const char* name, const std::string& value) const {
        calls.push_back(std::string(op) + " " + name + " " + value);
    }
};

}  // namespace remote_test

#pragma once
// Records the page's skin calls in order, as "Operation NAME value".

#include <string>
#include <vector>

#include "cpl/remote/skin_surface.h"

namespace remote_test {

class FakeSkin final : public RmctSkinSurface {
public:
    void ShowLabel(const char* name, BOOL visible) override {
        Add("ShowLabel", name, visible ? "1" : "0");
    }
    void SetLabelText(const char* name, const char* text) override {
        Add("SetLabelText", name, text);
    }
    void EnableButton(const char* name, BOOL enabled) override {
        Add("EnableButton", name, enabled ? "1" : "0");
    }
    void SetButtonCheck(const char* name, BOOL latched) override {
        Add("SetButtonCheck", name, latched ? "1" : "0");
    }
    std::vector<std::string> calls;

private:
    void Add(const char* op, const char* name, const std::string& value) {
        calls.push_back(std::string(op) + " " + name + " " + value);
    }
};

}  // namespace remote_test

#pragma once
// Records the page's skin calls in order, as "Operation NAME value". Shaped
// like the skin dialog (same operations, not virtual), so the page reaches it
// through RmctSkinOf as it reaches the main dialog.

#include <string>
#include <vector>

#include "cpl/remote/skin_surface.h"

namespace remote_test {

class FakeSkin {
public:
    void ShowLabel(const char* name, BOOL visible) { Add("ShowLabel", name, visible ? "1" : "0"); }
    void SetLabelText(const char* name, const char* text) { Add("SetLabelText", name, text); }
    void EnableButton(const char* name, BOOL enabled) {
        Add("EnableButton", name, enabled ? "1" : "0");
    }
    void SetButtonCheck(const char* name, BOOL latched) {
        Add("SetButtonCheck", name, latched ? "1" : "0");
    }
    std::vector<std::string> calls;

private:
    void Add(const char* op, const char* name, const std::string& value) {
        calls.push_back(std::string(op) + " " + name + " " + value);
    }
};

}  // namespace remote_test

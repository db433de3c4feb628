#include "kslib/ks_log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

#include "platform/win32_headers.h"

namespace kslib {
namespace {

std::atomic<int> g_threshold{0};
std::atomic<KsLogSink> g_sink{nullptr};

}  // namespace

int KsLogThreshold() { return g_threshold.load(std::memory_order_relaxed); }
void KsSetLogThreshold(int level) { g_threshold.store(level, std::memory_order_relaxed); }
void KsSetLogSink(KsLogSink sink) { g_sink.store(sink); }

void KsLog(int level, const char* format, ...) {
    if (KsLogThreshold() < level) return;
    char text[260];
    va_list args;
    va_start(args, format);
    vsnprintf_s(text, sizeof text, _TRUNCATE, format, args);
    va_end(args);
    KsLogSink sink = g_sink.load();
    if (sink != nullptr) {
        sink(text);
    } else {
        OutputDebugStringA(text);
    }
}

void KsLogLeave(const char* name, long hr) {
    KsLog(6, "%s Leave, returning %#08x", name, static_cast<unsigned>(hr));
}

}  // namespace kslib

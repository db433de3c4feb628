#pragma once
// The library's level-gated diagnostics. Nothing in the product raises the
// threshold, so the messages stay dormant; a debugger session or a test can.
// Levels: 1 errors, 3 pin property failures, 4 enumeration failures,
// 5 notices, 6 entry and exit traces.

namespace kslib {

int KsLogThreshold();
void KsSetLogThreshold(int level);

// Where formatted messages go; OutputDebugStringA unless replaced.
using KsLogSink = void (*)(const char* message);
void KsSetLogSink(KsLogSink sink);

// Formats (truncating to 259 characters) only when threshold >= level.
void KsLog(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// "<name> Leave, returning <hr>" at level 6 (name without "()").
void KsLogLeave(const char* name, long hr);

// "<name> Enter" on construction and "<name> Leave" on destruction, level 6.
class KsTraceScope {
public:
    explicit KsTraceScope(const char* name) : m_pszName(name) { KsLog(6, "%s Enter", name); }
    ~KsTraceScope() { KsLog(6, "%s Leave", m_pszName); }
    KsTraceScope(const KsTraceScope&) = delete;
    KsTraceScope& operator=(const KsTraceScope&) = delete;

private:
    const char* m_pszName;
};

}  // namespace kslib

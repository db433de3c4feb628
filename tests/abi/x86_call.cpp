#include "abi/x86_call.h"

#include <cstdio>
#include <cstring>

namespace veltrano::test {
namespace {

constexpr uint32_t kPoisonEcx = 0xdeadbeefu;

uint32_t Word32(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

X86Result Call(const void* fn, uint32_t ecx, const X86Args& args, uint32_t padWords) {
    X86CallRecord record{};
    const auto& words = args.Words();
    const uint64_t value = veltrano_x86_call(
        fn, ecx, words.data(), static_cast<uint32_t>(words.size()), padWords, &record);
    X86Result result;
    result.eax = static_cast<uint32_t>(value);
    result.edx = static_cast<uint32_t>(value >> 32);
    char text[160] = {};
    if (record.actualEsp != record.expectedEsp) {
        const long delta = static_cast<long>(record.actualEsp - record.expectedEsp);
        std::snprintf(text, sizeof text,
                      "ESP moved by %ld bytes across the call (%zu argument bytes pushed)", delta,
                      words.size() * 4);
    } else if (record.ebx != 0x5eb7c0deu || record.esi != 0x51c0ffeeu ||
               record.edi != record.expectedEsp) {
        std::snprintf(text, sizeof text,
                      "callee-saved registers changed: EBX %08x ESI %08x EDI %08x", record.ebx,
                      record.esi, record.edi);
    }
    result.fault = text;
    return result;
}

}  // namespace

X86Args& X86Args::Ptr(const void* p) { return Word(Word32(p)); }

X86Args& X86Args::Double(double d) {
    uint32_t halves[2];
    static_assert(sizeof halves == sizeof d);
    std::memcpy(halves, &d, sizeof d);
    return Word(halves[0]).Word(halves[1]);
}

X86Result CallThis(const void* fn, const void* self, const X86Args& args, uint32_t padWords) {
    return Call(fn, Word32(self), args, padWords);
}

X86Result CallStd(const void* fn, const X86Args& args, uint32_t padWords) {
    return Call(fn, kPoisonEcx, args, padWords);
}

const void* VtableSlot(const void* object, int index) {
    const void* const* vtable = *static_cast<const void* const* const*>(object);
    return vtable[index];
}

}  // namespace veltrano::test

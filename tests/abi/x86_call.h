#pragma once
// A call made the way code from the platform's own compiler makes it on
// 32-bit Windows, through a small assembly thunk that sees what the callee
// did to the stack. Plain C++ cannot see a callee that pops the wrong number
// of bytes: the caller restores ESP from its frame pointer and carries on.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

struct X86CallRecord {
    uint32_t expectedEsp;
    uint32_t actualEsp;
    uint32_t ebx;
    uint32_t esi;
    uint32_t edi;
};

extern "C" uint64_t veltrano_x86_call(const void* fn, uint32_t ecx, const uint32_t* args,
                                      uint32_t count, uint32_t padWords, X86CallRecord* record);

namespace veltrano::test {

// The call's 32-bit stack words.
class X86Args {
public:
    X86Args() = default;
    X86Args(std::initializer_list<uint32_t> words) : m_words(words) {}
    X86Args& Word(uint32_t w) {
        m_words.push_back(w);
        return *this;
    }
    X86Args& Ptr(const void* p);
    X86Args& Double(double d);  // two words, low first, as the platform passes a double
    const std::vector<uint32_t>& Words() const { return m_words; }

private:
    std::vector<uint32_t> m_words;
};

struct X86Result {
    uint32_t eax = 0;
    uint32_t edx = 0;
    // Empty when the callee popped exactly its arguments and kept EBX, ESI
    // and EDI; otherwise what went wrong.
    std::string fault;
};

// thiscall: `self` in ECX, the arguments on the stack, the callee pops them.
X86Result CallThis(const void* fn, const void* self, const X86Args& args, uint32_t padWords);
// stdcall: everything on the stack (the object first for COM methods), the
// callee pops it; ECX holds a poison value the callee must not rely on.
X86Result CallStd(const void* fn, const X86Args& args, uint32_t padWords);

// Slot `index` of the vtable of a COM object.
const void* VtableSlot(const void* object, int index);

}  // namespace veltrano::test

#include "log/CPUInfo.h"

#include <cstring>

namespace hv {
namespace {

// Removes characters up to and including the blank from both ends.
std::string Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
    return std::string(s.substr(b, e - b));
}

}  // namespace

std::string GetCPUBrand(const CpuidFunction& cpuid) {
    char bytes[48] = {};
    auto top = cpuid(0x80000000u);
    if (top && (*top)[0] >= 0x80000004u) {
        for (uint32_t i = 0; i < 3; ++i) {
            auto r = cpuid(0x80000002u + i);
            if (!r) break;
            std::memcpy(bytes + i * 16, r->data(), 16);  // EAX, EBX, ECX, EDX, little-endian
        }
    }
    return std::string(bytes, strnlen(bytes, sizeof bytes));
}

TCPUFeatures GetCPUFeatures(const CpuidFunction& cpuid) {
    TCPUFeatures f = 0;
    auto std0 = cpuid(0);
    if (!std0) return f;
    if ((*std0)[0] > 0) {
        if (auto l1 = cpuid(1)) {
            uint32_t edx = (*l1)[3];
            if (edx & (1u << 8)) f |= cfCMPXCHG8B;
            if (edx & (1u << 15)) f |= cfCMOV;
            if (edx & (1u << 23)) f |= cfMMX;
            if (edx & (1u << 25)) f |= cfSSE;
            if (edx & (1u << 26)) f |= cfSSE2;
        }
    }
    auto ext0 = cpuid(0x80000000u);
    if (ext0 && (*ext0)[0] > 0x80000000u) {
        if (auto e1 = cpuid(0x80000001u)) {
            uint32_t edx = (*e1)[3];
            if (edx & (1u << 22)) f |= cfMMX2;
            if (edx & (1u << 31)) f |= cf3DNow;
            if (edx & (1u << 30)) f |= cf3DNow2;
        }
    }
    return f;
}

std::string ProcessorDescription(std::string_view brand, TCPUFeatures features) {
    std::string s = Trim(brand);
    if (features == 0) return s;
    s += " (";
    static constexpr struct {
        TCPUFeatures bit;
        const char* word;
    } kWords[] = {{cfMMX, "MMX "},   {cfSSE, "SSE "},     {cfSSE2, "SSE2 "},
                  {cfMMX2, "MMX2 "}, {cf3DNow, "3DNow "}, {cf3DNow2, "3DNow2 "}};
    for (const auto& w : kWords) {
        if (features & w.bit) s += w.word;
    }
    return Trim(s) + ")";
}

}  // namespace hv

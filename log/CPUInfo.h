// The processor's brand text and instruction-set features, as the log header reports them.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/sysinfo/sysinfo.h"

namespace hv {

// Feature set: one bit per feature; the values are fixed.
using TCPUFeatures = uint8_t;
constexpr TCPUFeatures cfCMPXCHG8B = 0x01;
constexpr TCPUFeatures cfCMOV = 0x02;
constexpr TCPUFeatures cfMMX = 0x04;
constexpr TCPUFeatures cfMMX2 = 0x08;  // MMX extensions
constexpr TCPUFeatures cfSSE = 0x10;
constexpr TCPUFeatures cfSSE2 = 0x20;
constexpr TCPUFeatures cf3DNow = 0x40;
constexpr TCPUFeatures cf3DNow2 = 0x80;  // 3DNow! extensions

// Runs one CPUID leaf; nothing when the processor has no CPUID.
using CpuidFunction = std::function<std::optional<CpuidRegs>(uint32_t leaf)>;

// At most 48 characters from the extended brand leaves; empty without them.
std::string GetCPUBrand(const CpuidFunction& cpuid = Cpuid);
TCPUFeatures GetCPUFeatures(const CpuidFunction& cpuid = Cpuid);

// "Brand (MMX SSE SSE2)": the trimmed brand and, when the set is not empty, the words of the
// features MMX, SSE, SSE2, MMX2, 3DNow, 3DNow2 that are present, in that order, in parentheses.
std::string ProcessorDescription(std::string_view brand, TCPUFeatures features);

}  // namespace hv

// Text drawn every frame must not touch the heap once its glyphs are made: a game shows the same
// few lines each frame, and a long session would otherwise churn the allocator. This binary's
// operator new counts the allocations made while `counting` is set. Under AddressSanitizer the
// sanitizer owns operator new, so the count is not taken there.
#include <atomic>
#include <cstdlib>
#include <new>

#include "tests/device/DeviceFixture.h"

#if defined(__SANITIZE_ADDRESS__)
#define HV_COUNTS_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HV_COUNTS_ALLOCATIONS 0
#endif
#endif
#ifndef HV_COUNTS_ALLOCATIONS
#define HV_COUNTS_ALLOCATIONS 1
#endif

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
}  // namespace

#if HV_COUNTS_ALLOCATIONS
void* operator new(std::size_t size) {
    if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
#endif

namespace hv::test {
namespace {

using FontAllocationTest = DeviceTest;

TEST_F(FontAllocationTest, ASteadyFrameOfTextAllocatesNothing) {
    if (!HV_COUNTS_ALLOCATIONS) GTEST_SKIP() << "the sanitizer's allocator is not counted";
    ID3DXFont* font = nullptr;
    ASSERT_EQ(D3DXCreateFontW(device, 16, 0, FW_NORMAL, 1, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                              DEFAULT_QUALITY, 0, L"", &font),
              D3D_OK);
    // Lines, alignment, clipping, measuring, an accented letter, a glyph off the screen.
    auto frame = [&] {
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        device->BeginScene();
        RECT a{4, 4, 150, 40};
        font->DrawTextA(nullptr, "Score 1250\nLives 3", -1, &a, DT_CENTER, 0xFFFFFF00);
        RECT b{10, 60, 60, 70};
        font->DrawTextA(nullptr, "Caf\xC3\xA9 open late", -1, &b, DT_RIGHT | DT_VCENTER,
                        0xFF00FF00);
        RECT c{120, 100, 0, 0};
        font->DrawTextA(nullptr, "far beyond the right edge", -1, &c, DT_NOCLIP, 0xFFFFFFFF);
        RECT m{0, 0, 0, 0};
        font->DrawTextA(nullptr, "Score 1250\nLives 3", -1, &m, DT_CALCRECT, 0);
        device->EndScene();
        device->Present(nullptr, nullptr, nullptr, nullptr);
    };
    frame();  // glyphs are made and buffers grow
    frame();
    allocations = 0;
    counting = true;
    for (int i = 0; i < 10; ++i) frame();
    counting = false;
    EXPECT_EQ(allocations.load(), 0);
    font->Release();
}

}  // namespace
}  // namespace hv::test

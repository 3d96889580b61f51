// The framework's failure reports and format names.
#include "tests/d3dapp/d3dapp_fakes.h"

namespace hv::test {
namespace {

TEST(FrameworkErrors, TextsByCodeAndKind) {
    const std::string generic =
        "Generic application error. Enable\ndebug output for detailed information.";
    EXPECT_EQ(FrameworkErrorText(static_cast<HRESULT>(0x82000002u), MSG_WARNING), generic);
    EXPECT_EQ(FrameworkErrorText(E_FAIL, 7), generic);  // unknown kind: nothing appended
    EXPECT_EQ(FrameworkErrorText(FWERR_NO_DEVICE, MSG_MUST_EXIT),
              "Could not find any compatible Direct3D\ndevices.\n\nThis sample will now exit.");
    EXPECT_EQ(FrameworkErrorText(D3DERR_OUTOFVIDEOMEMORY, MSG_SWITCHED_TO_REF),
              "Not enough video memory.\n\nSwitching to the reference rasterizer,\na software "
              "device that implements the entire\nDirect3D feature set, but runs very slowly.");
    EXPECT_EQ(FrameworkErrorText(FWERR_MEDIA, MSG_WARNING), "Could not load required media.");
    EXPECT_EQ(FrameworkErrorText(FWERR_RESET, MSG_WARNING), "Could not reset the Direct3D device.");
    // Every code has its own text, and none is cut even with the longest sentence.
    std::vector<std::string> seen;
    for (uint32_t code = 0x82000001u; code <= 0x8200000Du; ++code) {
        const std::string bare = FrameworkErrorText(static_cast<HRESULT>(code), MSG_WARNING);
        const std::string longest =
            FrameworkErrorText(static_cast<HRESULT>(code), MSG_SWITCHED_TO_REF);
        EXPECT_LT(longest.size(), kErrorMsgBufferSize);
        EXPECT_EQ(longest.substr(0, bare.size()), bare);
        EXPECT_GT(longest.size(), bare.size());
        if (code != 0x82000002u) seen.push_back(bare);
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(std::unique(seen.begin(), seen.end()), seen.end());
    EXPECT_EQ(FrameworkErrorIcon(MSG_MUST_EXIT), MB_ICONERROR);
    EXPECT_EQ(FrameworkErrorIcon(MSG_SWITCHED_TO_REF), MB_ICONWARNING);
    EXPECT_EQ(FrameworkErrorIcon(MSG_WARNING), MB_ICONWARNING);
}

TEST(FrameworkErrors, ReportUsesTheTitleAndMustExitWithoutAWindowSendsNothing) {
    setenv("HALVARDINE_NO_DIALOGS", "1", 1);
    FakeForm form;
    TestApp app(&form);
    testing::internal::CaptureStderr();
    EXPECT_EQ(app.DisplayErrorMsg(FWERR_NULL_REF, MSG_MUST_EXIT), FWERR_NULL_REF);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.rfind("D3D8 Application\nWarning: Nothing will be rendered.\n", 0), 0u) << err;
    EXPECT_NE(err.find("device.\n\n\nThis sample will now exit."), std::string::npos);
    EXPECT_EQ(app.Finalized, 0);  // no window: no WM_CLOSE, no clean-up
}

TEST(FrameworkErrors, DeviceFailureNames) {
    EXPECT_EQ(D3DErrorName(D3DERR_DEVICELOST), "D3DERR_DEVICELOST");
    EXPECT_EQ(D3DErrorName(D3DERR_WASSTILLDRAWING), "D3DERR_WASSTILLDRAWING");
    EXPECT_EQ(D3DErrorName(D3DERR_DRIVERINVALIDCALL), "D3DERR_DRIVERINVALIDCALL");
    EXPECT_EQ(D3DErrorName(E_FAIL), "");
}

TEST(FrameworkFormats, NamesOfSurfaceFormats) {
    EXPECT_EQ(CD3DApplication::FormatName(D3DFMT_UNKNOWN), "UNKNOWN");
    EXPECT_EQ(CD3DApplication::FormatName(D3DFMT_X8R8G8B8), "X8R8G8B8");
    EXPECT_EQ(CD3DApplication::FormatName(D3DFMT_G16R16), "G16R16");
    EXPECT_EQ(CD3DApplication::FormatName(D3DFMT_D24S8), "D3DFMT_D24S8");
    EXPECT_EQ(CD3DApplication::FormatName(D3DFMT_A8B8G8R8), "");  // 32: no name
    EXPECT_EQ(CD3DApplication::FormatName(0xFFFFFFFFu), "");
}

}  // namespace
}  // namespace hv::test
